#pragma once
// Where a show stands: the order it plays in, the index into it, forward and
// back, and the next pass's order drawn ahead so that its first image can be
// made ready before the click that starts the pass.
#include <cstdint>
#include <string>
#include <vector>

namespace pelumir {

class PlaySequence {
public:
    // `source`: the images in registration order, read whenever an order is
    // drawn; it must outlive the sequence.
    explicit PlaySequence(const std::vector<std::string>& source) : source_(source) {}

    // The sort type (SortType) and whether a pass ends the show (false) or
    // the next one starts (true). Forgets an order drawn ahead.
    void SetRules(int sortType, bool loop);

    // A new show: a fresh order, at its first image.
    void Start();
    // A fresh order for the pass under way; the index stays.
    void Reorder();

    const std::vector<std::string>& List() const { return list_; }
    int Index() const { return index_; }
    bool IndexValid() const { return index_ >= 0 && size_t(index_) < list_.size(); }
    const std::string& Current() const { return list_[size_t(index_)]; }

    // Forward one. Past the last image a looping show starts a new pass in a
    // fresh order (the one drawn ahead, when nothing has drawn from the
    // generator since); a show that does not loop is over: false, and the
    // index stays past the end.
    bool Advance();
    // Back one; from the first to the last.
    void Back();

    // What plays after the current image: the next one of this pass, the
    // first of a pass not drawn yet, or nothing (the show ends).
    enum class Ahead { NextImage, NextPass, Nothing };
    Ahead WhatIsAhead() const;
    // The next image of this pass, when WhatIsAhead() is NextImage.
    const std::string& NextImage() const { return list_[size_t(index_) + 1]; }
    // Draws the next pass's order now and puts the generator back as it was,
    // so the pass's real end draws the same again (and takes this order when
    // nothing else has drawn meanwhile). Its first image; null when empty.
    const std::string* DrawNextPass();
    // Forgets the order drawn ahead.
    void DropNextPass() { nextOrder_.clear(); }

private:
    const std::vector<std::string>& source_;
    int sortType_ = 0;
    bool loop_ = true;
    std::vector<std::string> list_;
    int index_ = 0;
    std::vector<std::string> nextOrder_;
    uint32_t seedBefore_ = 0, seedAfter_ = 0;
};

}  // namespace pelumir
