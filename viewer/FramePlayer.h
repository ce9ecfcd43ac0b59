#pragma once
// A moving picture on screen: its frames are made by a decoder process of
// their own (the other one makes the next picture meanwhile), one ahead of
// the frame shown, and each is shown once its time has come.
#include <chrono>
#include <optional>
#include <string>

#include "decoder/Protocol.h"
#include "image/Orientation.h"
#include "platform/Bitmap.h"
#include "viewer/DecoderLink.h"

namespace pelumir {

class FramePlayer {
public:
    using Clock = std::chrono::steady_clock;

    FramePlayer() = default;
    FramePlayer(const FramePlayer&) = delete;
    FramePlayer& operator=(const FramePlayer&) = delete;
    ~FramePlayer() { Release(); }

    // What a picture's frames are made as: its first frame, shown already.
    struct Picture {
        std::string path;
        int width = 0, height = 0;  // the frame's
        Orientation orientation = Orientation::Normal;
        int colours = -1;           // the table's shared memory; -1: colours stay
        bool keep = false;          // keep the frame on screen whole, for turning it
    };
    // Plays the picture whose first frame went on screen at `shownAt`; any
    // other stops. Nothing plays when the file cannot be opened, no decoder
    // process runs, or the picture turns out not to move.
    void Start(const Picture& picture, Clock::time_point shownAt);
    // Stops at the frame on screen.
    void Stop();
    bool Playing() const { return playing_; }
    // Takes in the decoder's answers. When the frame ahead is in and due by
    // `now`, it goes into `shown` (in this player's memory, written again
    // two frames later) and the one after is asked for: true.
    bool Step(Clock::time_point now, Bitmap& shown);
    // When the frame ahead is due, once it is in.
    std::optional<Clock::time_point> Due() const;
    // Stops, and hands over the frame on screen whole, with its turn, when
    // it is one of this player's (frames are kept whole only when asked),
    // waiting for the decoder at most `wait`.
    bool TakeCanvas(Bitmap& canvas, Orientation& orientation, std::chrono::milliseconds wait);
    // Whether `frame` shows this player's memory.
    bool Holds(const Bitmap& frame) const {
        return frame.Borrowed() && (frame.Bits() == frames_[0].data || frame.Bits() == frames_[1].data);
    }
    // The socket the decoder answers on, -1 when none runs.
    int Socket() const { return link_.Socket(); }
    void NewShow() { link_.NewShow(); }
    // Stops and gives the frames' memory back; the frame on screen must
    // not be shown any more. The decoder process stays unless busy.
    void Release();
    const DecoderLink& Link() const { return link_; }

private:
    bool AskNext();

    DecoderLink link_;
    decoding::SharedFrame frames_[2];
    int width_ = 0, height_ = 0;
    bool playing_ = false;
    bool first_ = false;  // the first answer is the frame shown already
    bool ready_ = false;  // the frame ahead is in frames_[target_]
    int target_ = 0;
    uint32_t delayMs_ = 0;      // how long the frame ahead shows
    uint32_t aheadId_ = 0, shownId_ = 0;  // the answers that made them
    Clock::time_point due_;
};

}  // namespace pelumir
