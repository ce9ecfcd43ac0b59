#include "viewer/PlaySequence.h"

#include <gtest/gtest.h>

#include "settings/ViewerConfig.h"
#include "viewer/PlayOrder.h"

namespace pelumir {
namespace {

using Paths = std::vector<std::string>;
using Ahead = PlaySequence::Ahead;

TEST(PlaySequence, ForwardBackAndTheEndOfAShow) {
    const Paths source{"a", "b", "c"};
    for (const bool loop : {false, true}) {
        PlaySequence seq(source);
        seq.SetRules(SortType::Reverse, loop);
        seq.Start();
        EXPECT_EQ(seq.List(), (Paths{"c", "b", "a"}));
        seq.Back();  // from the first to the last
        EXPECT_EQ(seq.Current(), "a");
        EXPECT_EQ(seq.WhatIsAhead(), loop ? Ahead::NextPass : Ahead::Nothing);
        EXPECT_EQ(seq.Advance(), loop) << loop;
        EXPECT_EQ(seq.Index(), loop ? 0 : 3);
        EXPECT_EQ(seq.IndexValid(), loop);
        seq.Start();
        EXPECT_EQ(seq.WhatIsAhead(), Ahead::NextImage);
        EXPECT_EQ(seq.NextImage(), "b");
        EXPECT_TRUE(seq.Advance());
        EXPECT_EQ(seq.Current(), "b");
    }
}

// The next pass drawn ahead is the pass the end of this one would draw: the
// same order and the generator left where the draw leaves it. A draw made by
// anything else meanwhile makes the pass's end draw afresh.
TEST(PlaySequence, TheNextPassDrawnAheadIsTheOneItsEndWouldDraw) {
    const Paths source{"a", "b", "c", "d", "e", "f"};
    enum Ahead { None, Drawn, DrawnThenMoved };
    std::vector<std::pair<Paths, uint32_t>> passes;
    for (const Ahead ahead : {None, Drawn, DrawnThenMoved}) {
        RandomSeed = 4242;
        PlaySequence seq(source);
        seq.SetRules(SortType::Random, true);
        seq.Start();
        while (seq.WhatIsAhead() == PlaySequence::Ahead::NextImage) seq.Advance();
        if (ahead != None) {
            const uint32_t before = RandomSeed;
            const std::string* first = seq.DrawNextPass();
            ASSERT_NE(first, nullptr);
            EXPECT_EQ(RandomSeed, before);
        }
        if (ahead == DrawnThenMoved) RandomSeed = 99;
        ASSERT_TRUE(seq.Advance());
        passes.emplace_back(seq.List(), RandomSeed);
    }
    EXPECT_EQ(passes[Drawn], passes[None]);
    RandomSeed = 99;
    EXPECT_EQ(passes[DrawnThenMoved].first, BuildPlayOrder(source, SortType::Random));
    EXPECT_NE(passes[DrawnThenMoved].first, passes[None].first);
}

}  // namespace
}  // namespace pelumir
