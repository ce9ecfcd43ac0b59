#include "image/ImageFile.h"

#include "platform/Path.h"
#include "image/BmpLoader.h"

namespace pelumir {

bool HasBmpName(const std::string& path) { return LowerAscii(ExtractFileExt(path)) == ".bmp"; }

void ImageLoad::Start(const std::string& path, std::vector<uint8_t>& fileBytes, Bitmap& out, size_t pieceBytes) {
    Cancel();
    path_ = path;
    bytes_ = &fileBytes;
    out_ = &out;
    pieceBytes_ = pieceBytes;
    stamp_ = {};
    phase_ = Phase::Open;
    state_ = State::Working;
}

void ImageLoad::Cancel() {
    reader_.Close();
    jpeg_.Cancel();
    phase_ = Phase::End;
    state_ = State::Failed;
}

void ImageLoad::Fail() {
    out_->Clear();
    Cancel();
}

ImageLoad::State ImageLoad::Step(StepDeadline deadline) {
    while (state_ == State::Working) {
        if (!Advance(deadline)) break;
        if (deadline != kNoDeadline && std::chrono::steady_clock::now() >= deadline) break;
    }
    return state_;
}

// One piece of work; false when a stage stopped at the deadline.
bool ImageLoad::Advance(StepDeadline deadline) {
    switch (phase_) {
    case Phase::Open: {
        // No file larger than the largest bitmap can be a picture we show.
        const bool opened = reader_.Open(path_, *bytes_, kMaxBitmapBytes);
        stamp_ = reader_.Stamp();
        if (!opened) {
            Fail();
            return true;
        }
        phase_ = Phase::Read;
        return true;
    }
    case Phase::Read:
        if (!reader_.ReadSome(pieceBytes_ == 0 ? SIZE_MAX : pieceBytes_)) return true;
        if (reader_.Result() != ReadResult::Ok) {
            Fail();
            return true;
        }
        jpeg_.Start(bytes_->data(), bytes_->size(), *out_, pieceBytes_);
        phase_ = Phase::Jpeg;
        return true;
    case Phase::Jpeg:
        switch (jpeg_.Step(deadline)) {
        case JpegDecode::State::Working:
            return false;
        case JpegDecode::State::Done:
            phase_ = Phase::End;
            state_ = State::Loaded;
            return true;
        case JpegDecode::State::Failed:
            if (!HasBmpName(path_)) {
                Fail();
                return true;
            }
            phase_ = Phase::Bmp;
            return true;
        }
        return true;
    case Phase::Bmp:
        // A bitmap's decode is one piece: Qt's reader cannot stop midway.
        if (DecodeBmp(bytes_->data(), bytes_->size(), *out_)) {
            phase_ = Phase::End;
            state_ = State::Loaded;
        } else {
            Fail();
        }
        return true;
    case Phase::End:
        return true;
    }
    return true;
}

bool LoadImageFile(const std::string& path, std::vector<uint8_t>& fileBytes, Bitmap& out) {
    ImageLoad load;
    load.Start(path, fileBytes, out, 0);
    return load.Step(kNoDeadline) == ImageLoad::State::Loaded;
}

}  // namespace pelumir
