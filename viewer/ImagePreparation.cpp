#include "viewer/ImagePreparation.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "viewer/StretchDraw.h"

namespace pelumir {

void ImagePreparation::Start(const std::string& path, int width, int height, size_t pieceBytes) {
    path_ = path;
    width_ = width;
    height_ = height;
    keep_ = keepWanted_;
    exif_ = exifWanted_;
    aimed_ = true;
    fitted_ = false;
    frameSized_ = false;
    touched_ = 0;
    fitSink_.Aim(frame_, width, height);
    source_.Clear();
    load_.Start(path_, fileBytes_, keep_ ? static_cast<RowSink&>(keepSink_) : fitSink_, pieceBytes,
                {.otherFormats = otherFormats_, .exifOrientation = exif_});
}

bool ImagePreparation::Holds(const std::string& path, int width, int height) const {
    if (!aimed_ || path != path_ || width != width_ || height != height_ || keep_ != keepWanted_ ||
        exif_ != exifWanted_)
        return false;
    return !load_.ReadingBegan() || StampOf(path_) == load_.Stamp();
}

bool ImagePreparation::Step(StepDeadline deadline) {
    if (!aimed_ || fitted_) return Ready();
    if (!keep_) {
        // The frame is ready before the first row comes; the fitting is
        // then done row by row, and nothing is left for a step of its own.
        if (!FrameMapped(deadline)) return false;
        if (load_.Current() == ImageLoad::State::Working && load_.Step(deadline) == ImageLoad::State::Working)
            return false;
        if (!Loaded() && frame_.ByteSize() != 0) std::memset(frame_.Bits(), 0, frame_.ByteSize());
        fitted_ = true;
        return true;
    }
    if (load_.Current() == ImageLoad::State::Working) {
        // The fitting comes in a step of its own unless there is no deadline.
        if (load_.Step(deadline) == ImageLoad::State::Working || deadline != kNoDeadline) return false;
    }
    if (!FrameMapped(deadline)) return false;
    // The fitting is one piece: a single pass over the frame.
    if (!Loaded() || !DrawFitted(source_, frame_, width_, height_, PictureOrientation())) {
        if (frame_.ByteSize() != 0) std::memset(frame_.Bits(), 0, frame_.ByteSize());
    }
    fitted_ = true;
    return true;
}

bool ImagePreparation::FrameMapped(StepDeadline deadline) {
    if (!frameSized_) {
        frameSized_ = true;
        const uint8_t* before = frame_.Bits();
        frame_.Allocate(width_, height_, kFrameBits, Bitmap::Init::Uninitialised);
        // Storage kept from the frame before is mapped already.
        touched_ = frame_.Bits() == before ? frame_.ByteSize() : 0;
        if (deadline == kNoDeadline) touched_ = frame_.ByteSize();
    }
    // A fresh frame's memory is mapped by the first write to each page, a
    // fault that costs milliseconds for a huge page: a few per step, so
    // the fitting that follows does not take them all at once.
    constexpr size_t kTouchBytes = size_t(2) << 20;
    while (touched_ < frame_.ByteSize()) {
        const size_t n = std::min(kTouchBytes, frame_.ByteSize() - touched_);
        std::memset(frame_.Bits() + touched_, 0, n);
        touched_ += n;
        if (std::chrono::steady_clock::now() >= deadline) return false;
    }
    return true;
}

void ImagePreparation::TakeInto(Bitmap& source, Bitmap& frame) {
    std::swap(source, source_);
    std::swap(frame, frame_);
    source_.Clear();
    Cancel();
}

void ImagePreparation::Cancel() {
    load_.Cancel();
    aimed_ = false;
    fitted_ = false;
    path_.clear();
}

void ImagePreparation::Release() {
    Cancel();
    source_.Release();
    frame_.Release();
    fitSink_.Release();
    FileBytes().swap(fileBytes_);
}

}  // namespace pelumir
