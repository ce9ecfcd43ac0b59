#include "viewer/ImagePreparation.h"

#include <cstring>
#include <utility>

#include "viewer/StretchDraw.h"

namespace pelumir {

void ImagePreparation::Start(const std::string& path, int width, int height, size_t pieceBytes) {
    path_ = path;
    width_ = width;
    height_ = height;
    aimed_ = true;
    fitted_ = false;
    load_.Start(path_, fileBytes_, source_, pieceBytes);
}

bool ImagePreparation::Holds(const std::string& path, int width, int height) const {
    if (!aimed_ || path != path_ || width != width_ || height != height_) return false;
    return !load_.ReadingBegan() || StampOf(path_) == load_.Stamp();
}

bool ImagePreparation::Step(StepDeadline deadline) {
    if (!aimed_ || fitted_) return Ready();
    if (load_.Step(deadline) == ImageLoad::State::Working) return false;
    // The fitting is one piece: a single pass over the frame.
    frame_.Allocate(width_, height_, 32, Bitmap::Init::Uninitialised);
    if (!Loaded() || !DrawFitted(source_, frame_, width_, height_)) {
        if (frame_.ByteSize() != 0) std::memset(frame_.Bits(), 0, frame_.ByteSize());
    }
    fitted_ = true;
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
    std::vector<uint8_t>().swap(fileBytes_);
}

}  // namespace pelumir
