#include <gtest/gtest.h>

#include <algorithm>

#include "viewer/PlayOrder.h"

using namespace pelumir;
using Paths = std::vector<std::string>;

TEST(PlayOrder, GeneratorDrawsTheKnownSequence) {
    RandomSeed = 0;
    EXPECT_EQ(RandomIndex(10), 0);
    EXPECT_EQ(RandomIndex(9), 0);
    EXPECT_EQ(RandomIndex(8), 6);
    EXPECT_EQ(SeedForTimeOfDay(12, 34, 56, 789), 45296789u);
    EXPECT_EQ(SeedForTimeOfDay(23, 59, 59, 999), 86399999u);
}

TEST(PlayOrder, RandomOrderFromAKnownSeed) {
    RandomSeed = SeedForTimeOfDay(12, 34, 56, 789);
    EXPECT_EQ(BuildPlayOrder({"P", "Q", "R", "S", "T"}, 2), (Paths{"R", "Q", "S", "P", "T"}));
}

TEST(PlayOrder, RegistrationReverseAndOutOfRangeTypes) {
    const Paths src{"P", "Q", "R"};
    EXPECT_EQ(BuildPlayOrder(src, 0), src);
    EXPECT_EQ(BuildPlayOrder(src, 1), (Paths{"R", "Q", "P"}));
    EXPECT_EQ(BuildPlayOrder(src, 3), src);
    EXPECT_EQ(BuildPlayOrder(src, -1), src);
}

TEST(PlayOrder, RandomDrawsOncePerEntryAndKeepsDuplicates) {
    RandomSeed = 7;
    EXPECT_TRUE(BuildPlayOrder({}, 2).empty());
    EXPECT_EQ(RandomSeed, 7u);  // nothing drawn for an empty list

    BuildPlayOrder({"only"}, 2);
    EXPECT_EQ(RandomSeed, 7u * 134775813u + 1u);  // a single entry still draws once

    Paths src{"a", "b", "a", "c", "d", "a"};
    for (int pass = 0; pass < 20; ++pass) {
        Paths play = BuildPlayOrder(src, 2);
        Paths sortedPlay = play, sortedSrc = src;
        std::sort(sortedPlay.begin(), sortedPlay.end());
        std::sort(sortedSrc.begin(), sortedSrc.end());
        EXPECT_EQ(sortedPlay, sortedSrc);
    }
    EXPECT_EQ(BuildPlayOrder(src, 1), (Paths{"a", "d", "c", "a", "b", "a"}));
}

TEST(PlayOrder, SuccessiveShufflesDiffer) {
    RandomSeed = 12345;
    Paths src;
    for (int i = 0; i < 50; ++i) src.push_back(std::to_string(i));
    EXPECT_NE(BuildPlayOrder(src, 2), BuildPlayOrder(src, 2));
}
