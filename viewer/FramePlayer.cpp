#include "viewer/FramePlayer.h"

#include <utility>

#include "platform/FileSystem.h"

namespace pelumir {

using decoding::Reply;
using decoding::Request;

void FramePlayer::Start(const Picture& picture, Clock::time_point shownAt) {
    Stop();
    shownId_ = 0;
    width_ = picture.width;
    height_ = picture.height;
    // Opened here like every picture, so only a regular file reaches the decoder.
    FileStamp stamp;
    ReadResult result = ReadResult::Failed;
    UniqueFd file(OpenRegularFile(picture.path, kMaxBitmapBytes, stamp, result));
    if (!file.ok()) return;
    for (decoding::SharedFrame& f : frames_)
        if (!f.Ensure(decoding::FrameBytes(width_, height_))) return;
    Request begin;
    begin.kind = Request::Kind::Frames;
    begin.orientation = uint8_t(picture.orientation);
    begin.keepWhole = picture.keep;
    decoding::ExtensionField(picture.path, begin.extension);
    if (!link_.Tell(begin, file.get(), picture.colours)) return;
    playing_ = true;
    first_ = true;
    target_ = 0;
    due_ = shownAt;
    if (!AskNext()) playing_ = false;
}

bool FramePlayer::AskNext() {
    ready_ = false;
    Request next;
    next.kind = Request::Kind::NextFrame;
    next.frameWidth = width_;
    next.frameHeight = height_;
    return link_.Ask(next, UniqueFd(), frames_[target_].fd.get());
}

void FramePlayer::Stop() {
    link_.Cancel();
    playing_ = ready_ = false;
}

bool FramePlayer::Step(Clock::time_point now, Bitmap& shown) {
    if (!playing_) return false;
    if (!ready_) {
        std::optional<DecoderLink::Answer> answer = link_.Poll(std::chrono::milliseconds(0));
        if (!answer) return false;
        if (answer->reply.kind != Reply::Kind::Done) {
            // The frames have ended, or cannot go on: the one on screen stays.
            Stop();
            return false;
        }
        delayMs_ = answer->reply.delayMs;
        aheadId_ = answer->reply.id;
        if (first_) {
            // The first frame is on screen already: the next is due after it.
            first_ = false;
            due_ += std::chrono::milliseconds(delayMs_);
            target_ = 1 - target_;
            if (!AskNext()) Stop();
            return false;
        }
        ready_ = true;
    }
    if (now < due_) return false;
    frames_[target_].Show(shown, width_, height_);
    shownId_ = aheadId_;
    // Due by the file's times from the first frame on; after a stall (the
    // machine busy, a decoder replaced) from now, not in a rush.
    due_ += std::chrono::milliseconds(delayMs_);
    if (due_ < now - std::chrono::seconds(1)) due_ = now + std::chrono::milliseconds(delayMs_);
    target_ = 1 - target_;
    if (!AskNext()) Stop();
    return true;
}

std::optional<FramePlayer::Clock::time_point> FramePlayer::Due() const {
    if (!playing_ || !ready_) return std::nullopt;
    return due_;
}

bool FramePlayer::TakeCanvas(Bitmap& canvas, Orientation& orientation, std::chrono::milliseconds wait) {
    const uint32_t shown = std::exchange(shownId_, 0);
    Stop();
    if (shown == 0) return false;
    Request ask;
    ask.kind = Request::Kind::Canvas;
    ask.frameId = shown;
    if (!link_.Ask(ask, UniqueFd(), -1)) return false;
    const Clock::time_point end = Clock::now() + wait;
    for (;;) {
        std::optional<DecoderLink::Answer> answer =
            link_.Poll(std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()));
        if (!answer) {
            if (link_.Waiting() && Clock::now() < end) continue;
            link_.Cancel();
            return false;
        }
        const Reply& r = answer->reply;
        if (r.kind != Reply::Kind::Done || !decoding::MapPicture(r, answer->whole.get(), canvas)) return false;
        orientation = r.orientation >= 1 && r.orientation <= 8 ? Orientation(r.orientation) : Orientation::Normal;
        return true;
    }
}

void FramePlayer::Release() {
    Stop();
    shownId_ = 0;
    for (decoding::SharedFrame& f : frames_) f.Release();
    if (link_.Busy()) link_.Stop();
}

}  // namespace pelumir
