#include "viewer/PlaySequence.h"

#include "viewer/PlayOrder.h"

namespace pelumir {

void PlaySequence::SetRules(int sortType, bool loop) {
    sortType_ = sortType;
    loop_ = loop;
    DropNextPass();
}

void PlaySequence::Start() {
    index_ = 0;
    DropNextPass();
    Reorder();
}

void PlaySequence::Reorder() { list_ = BuildPlayOrder(source_, sortType_); }

bool PlaySequence::Advance() {
    ++index_;
    if (size_t(index_) < list_.size()) return true;
    if (!loop_) return false;
    index_ = 0;
    // The order drawn ahead is the one a draw now would give, as long as
    // nothing else has drawn from the generator since.
    if (!nextOrder_.empty() && RandomSeed == seedBefore_) {
        list_ = std::move(nextOrder_);
        RandomSeed = seedAfter_;
    } else {
        Reorder();
    }
    nextOrder_.clear();
    return true;
}

void PlaySequence::Back() {
    if (--index_ < 0) index_ = int(list_.size()) - 1;
}

PlaySequence::Ahead PlaySequence::WhatIsAhead() const {
    if (size_t(index_) + 1 < list_.size()) return Ahead::NextImage;
    return loop_ ? Ahead::NextPass : Ahead::Nothing;
}

const std::string* PlaySequence::DrawNextPass() {
    seedBefore_ = RandomSeed;
    nextOrder_ = BuildPlayOrder(source_, sortType_);
    seedAfter_ = RandomSeed;
    RandomSeed = seedBefore_;
    return nextOrder_.empty() ? nullptr : &nextOrder_.front();
}

}  // namespace pelumir
