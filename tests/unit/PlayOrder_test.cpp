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

namespace {

// The order drawn the plain way: each draw picks from a list that shrinks
// by erasing the drawn entry. The fast order must match it draw for draw.
Paths EraseOrder(const Paths& src) {
    Paths working = src, play;
    for (size_t k = 0; k < src.size(); ++k) {
        const int r = RandomIndex(int(working.size()));
        play.push_back(working[size_t(r)]);
        working.erase(working.begin() + r);
    }
    return play;
}

Paths Numbered(size_t n) {
    Paths src;
    for (size_t i = 0; i < n; ++i) src.push_back(std::to_string(i));
    return src;
}

}  // namespace

TEST(PlayOrder, RandomOrderMatchesErasingFromAShrinkingList) {
    // Sizes around powers of two, where a tree's search steps change; seeds
    // include the known examples and values near the ends of the range.
    const size_t sizes[] = {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 100, 255, 256, 257, 1000, 1024, 4099};
    const uint32_t seeds[] = {0u, 7u, SeedForTimeOfDay(12, 34, 56, 789), 86399999u, 0xFFFFFFFFu, 0x80000000u};
    for (uint32_t seed : seeds) {
        for (size_t n : sizes) {
            const Paths src = Numbered(n);
            RandomSeed = seed;
            const Paths expected = EraseOrder(src);
            const uint32_t seedAfter = RandomSeed;
            RandomSeed = seed;
            ASSERT_EQ(BuildPlayOrder(src, 2), expected) << "seed " << seed << ", " << n << " entries";
            ASSERT_EQ(RandomSeed, seedAfter) << "seed " << seed << ", " << n << " entries";
        }
    }
}

TEST(PlayOrder, ConsecutiveShufflesMatchErasingAndKeepDuplicates) {
    // A looping show continues the same sequence pass after pass.
    const Paths src{"x", "y", "x", "z", "x", "y", "w", "w", "v"};
    RandomSeed = 0;
    Paths expected[5];
    for (auto& e : expected) e = EraseOrder(src);
    RandomSeed = 0;
    for (const auto& e : expected) EXPECT_EQ(BuildPlayOrder(src, 2), e);
}
