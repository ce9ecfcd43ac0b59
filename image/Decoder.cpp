#include "image/Decoder.h"

namespace pelumir {

void PictureSink::Begin(int width, int height, int bitsPerPixel) {
    out_->Allocate(width, height, bitsPerPixel, Bitmap::Init::Uninitialised);
    out_->SetDevice(false);
    out_->SetMasks({});
    out_->Palette().clear();
}

void WholeDecoder::Start(std::span<const uint8_t> file, RowSink& out, size_t) {
    file_ = file;
    out_ = &out;
    state_ = State::Working;
}

Decoder::State WholeDecoder::Step(StepDeadline) {
    if (state_ != State::Working) return state_;
    RowSink& out = *out_;
    out_ = nullptr;
    state_ = State::Failed;
    if (!decode_(file_.data(), file_.size(), out.Whole())) return state_;
    out.WholeDone();
    state_ = State::Done;
    return state_;
}

bool DecodeWhole(Decoder& decode, std::span<const uint8_t> file, Bitmap& out) {
    PictureSink sink(out);
    decode.Start(file, sink, 0);
    if (decode.Step(kNoDeadline) == Decoder::State::Done) return true;
    out.Clear();
    return false;
}

}  // namespace pelumir
