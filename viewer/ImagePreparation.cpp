#include "viewer/ImagePreparation.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "decoder/Protocol.h"
#include "viewer/StretchDraw.h"

namespace pelumir {

using decoding::Reply;
using decoding::Request;

void ImagePreparation::Start(const std::string& path, int width, int height) {
    path_ = path;
    width_ = width;
    height_ = height;
    keep_ = keepWanted_;
    exif_ = exifWanted_;
    colour_ = colourWanted_;
    aimed_ = true;
    ready_ = false;
    loaded_ = false;
    orientation_ = Orientation::Normal;
    colours_.reset();
    colourMemory_ = UniqueFd();
    source_.Release();
    link_.Cancel();
    // The frame taken last may still be on screen: the other one is made.
    decoding::SharedFrame& target = frames_[target_];
    if (!target.Ensure(decoding::FrameBytes(width, height))) {
        Black();
        return;
    }
    target.Show(frame_, width, height);
    // The file is opened here, so only a regular file, as it is now, ever
    // reaches the decoder; no file larger than the largest bitmap can be a
    // picture we show.
    ReadResult result = ReadResult::Failed;
    UniqueFd file(OpenRegularFile(path, kMaxBitmapBytes, stamp_, result));
    if (!file.ok()) {
        Black();
        return;
    }
    Request request;
    request.frameWidth = width;
    request.frameHeight = height;
    request.keepWhole = keep_;
    request.followExif = exif_;
    request.otherFormats = otherFormats_;
    request.colourManaged = colour_;
    decoding::ExtensionField(path, request.extension);
    if (!link_.Decode(request, std::move(file), target.fd.get())) Black();
}

void ImagePreparation::Black() {
    // Not in the shared frame: a decode no longer wanted may still be
    // writing there.
    frame_ = Bitmap();
    frame_.Allocate(width_, height_, kFrameBits);
    ready_ = true;
    loaded_ = false;
}

bool ImagePreparation::Holds(const std::string& path, int width, int height) const {
    if (!aimed_ || path != path_ || width != width_ || height != height_ || keep_ != keepWanted_ ||
        exif_ != exifWanted_ || colour_ != colourWanted_)
        return false;
    return StampOf(path_) == stamp_;
}

void ImagePreparation::Answered(DecoderLink::Answer& answer) {
    const Reply& r = answer.reply;
    if (r.kind != Reply::Kind::Done) {
        Black();
        return;
    }
    loaded_ = true;
    ready_ = true;
    orientation_ = r.orientation >= 1 && r.orientation <= 8 ? Orientation(r.orientation) : Orientation::Normal;
    if (r.tableSent != 0) colourMemory_ = std::move(answer.table);
    if (!keep_) return;
    // The whole picture, in memory the decoder made and handed over. When
    // it cannot be had, the frame still shows; only turning has nothing to turn.
    if (!decoding::MapPicture(r, answer.whole.get(), source_) || !colourMemory_.ok()) return;
    const std::vector<uint8_t> bytes = decoding::ReadShared(colourMemory_.get(), size_t(16) << 20);
    auto colours = std::make_shared<ColourTable>();
    if (colours->Deserialise(bytes.data(), bytes.size())) colours_ = std::move(colours);
}

bool ImagePreparation::Step(std::chrono::milliseconds wait) {
    if (!aimed_ || ready_) return Ready();
    if (std::optional<DecoderLink::Answer> answer = link_.Poll(wait)) Answered(*answer);
    if (!ready_ && !link_.Waiting()) Black();  // nothing will come
    return Ready();
}

void ImagePreparation::Finish() {
    while (!Step(std::chrono::milliseconds(1000))) {
    }
}

void ImagePreparation::TakeInto(Bitmap& source, Bitmap& frame) {
    std::swap(source, source_);
    std::swap(frame, frame_);
    source_.Release();
    colours_.reset();
    colourMemory_ = UniqueFd();
    frame_ = Bitmap();
    // The frame just taken is shown now; the next one goes into the other.
    if (frame.Borrowed()) target_ = 1 - target_;
    Cancel();
}

void ImagePreparation::Cancel() {
    link_.Cancel();
    aimed_ = false;
    ready_ = false;
    path_.clear();
}

void ImagePreparation::Release() {
    Cancel();
    source_.Release();
    frame_ = Bitmap();
    for (decoding::SharedFrame& f : frames_) f.Release();
    // An idle decoder stays for the next show (starting one costs tens of
    // milliseconds); one still at work on a picture nobody wants is ended.
    if (link_.Busy()) link_.Stop();
}

}  // namespace pelumir
