#include "image/ImageFile.h"

#include <unistd.h>

#include <utility>

#include "image/Decoders.h"
#include "image/ExifOrientation.h"

namespace pelumir {

ImageLoad::ImageLoad() = default;
ImageLoad::~ImageLoad() {
    if (fd_ >= 0) ::close(fd_);
}

void ImageLoad::Start(const std::string& path, FileBytes& fileBytes, RowSink& out, size_t pieceBytes,
                      ChainOptions options) {
    Cancel();
    path_ = path;
    bytes_ = &fileBytes;
    out_ = &out;
    pieceBytes_ = pieceBytes;
    options_ = options;
    out.SetOrientation(Orientation::Normal);
    stamp_ = {};
    chain_.clear();
    whole_ = false;
    phase_ = Phase::Open;
    state_ = State::Working;
}

void ImageLoad::StartOn(int fd, const std::string& name, FileBytes& fileBytes, RowSink& out, size_t pieceBytes,
                        ChainOptions options) {
    Start(name, fileBytes, out, pieceBytes, options);
    fd_ = fd;
}

void ImageLoad::Cancel() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    reader_.Close();
    if (decoder_ != nullptr) decoder_->Cancel();
    decoder_ = nullptr;
    phase_ = Phase::End;
    state_ = State::Failed;
}

void ImageLoad::Fail() {
    out_->Abandon();
    out_->SetOrientation(Orientation::Normal);
    Cancel();
}

ImageLoad::State ImageLoad::Step(StepDeadline deadline) {
    while (state_ == State::Working) {
        if (!Advance(deadline)) break;
        if (Passed(deadline)) break;
    }
    return state_;
}

// Starts the decoder of the chain's current link; false when it needs the
// whole file, which is then read first.
bool ImageLoad::StartLink() {
    const Format* format = chain_[link_];
    const size_t index = size_t(format - Formats().data());
    std::unique_ptr<Decoder>& slot = decoders_[index];
    if (slot == nullptr) slot = MakeDecoder(*format);
    if (slot == nullptr) {
        Fail();
        return false;
    }
    Decoder& decoder = *slot;
    if (!whole_ && !decoder.ReadsOn()) {
        if (!reader_.Rewind()) Fail();
        else phase_ = Phase::Read;
        return false;
    }
    decoder_ = &decoder;
    if (whole_) decoder.Start(*bytes_, *out_, pieceBytes_);
    else decoder.StartReadingOn(*bytes_, reader_, *out_, pieceBytes_);
    phase_ = Phase::Decode;
    return true;
}

// One piece of work; false when a stage stopped at the deadline.
bool ImageLoad::Advance(StepDeadline deadline) {
    switch (phase_) {
    case Phase::Open: {
        // No file larger than the largest bitmap can be a picture we show.
        const bool opened = fd_ >= 0 ? reader_.Adopt(std::exchange(fd_, -1), *bytes_, kMaxBitmapBytes)
                                     : reader_.Open(path_, *bytes_, kMaxBitmapBytes);
        stamp_ = reader_.Stamp();
        if (!opened) {
            Fail();
            return true;
        }
        phase_ = Phase::Read;
        return true;
    }
    case Phase::Read:
        if (reader_.ReadSome(pieceBytes_ == 0 ? SIZE_MAX : pieceBytes_)) {
            if (reader_.Result() != ReadResult::Ok) {
                Fail();
                return true;
            }
            whole_ = true;
        } else if (!chain_.empty() || !JpegHeaderIn(*bytes_)) {
            // A JPEG is decoded as the rest of it is read, once the
            // segments before its image data are in: the EXIF data is
            // among them. Anything else is read whole first.
            return true;
        }
        if (chain_.empty()) {
            // Read while the bytes are in memory, and known before the first row.
            out_->SetOrientation(options_.exifOrientation ? ReadExifOrientation(*bytes_) : Orientation::Normal);
            chain_ = LoaderChain(path_, *bytes_, options_);
            if (chain_.empty()) {
                Fail();
                return true;
            }
            decoders_.resize(Formats().size());
            link_ = 0;
        }
        StartLink();
        return true;
    case Phase::Decode:
        switch (decoder_->Step(deadline)) {
        case Decoder::State::Working:
            return false;
        case Decoder::State::Done:
            decoder_ = nullptr;
            reader_.Close();
            phase_ = Phase::End;
            state_ = State::Loaded;
            return true;
        case Decoder::State::Failed:
            decoder_ = nullptr;
            if (++link_ == chain_.size()) {
                Fail();
                return true;
            }
            StartLink();
            return true;
        }
        return true;
    case Phase::End:
        return true;
    }
    return true;
}

bool LoadImageFile(const std::string& path, FileBytes& fileBytes, Bitmap& out, Orientation* orientation) {
    PictureSink sink(out);
    ImageLoad load;
    load.Start(path, fileBytes, sink, 0, {.exifOrientation = orientation != nullptr});
    const bool loaded = load.Step(kNoDeadline) == ImageLoad::State::Loaded;
    if (orientation != nullptr) *orientation = sink.PictureOrientation();
    return loaded;
}

}  // namespace pelumir
