#pragma once
// What the load asks of every format: a decoder that starts on the file's
// bytes in memory, works in steps until a deadline, and hands its rows, in
// order, to a sink that keeps them or fits them into a frame.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "image/Orientation.h"
#include "image/StepDeadline.h"
#include "platform/Bitmap.h"

namespace pelumir {

class FileReader;

// Takes a picture's rows top to bottom as a decoder makes them.
class RowSink {
public:
    // The most rows a decoder asks room for before it hands them over.
    static constexpr int kMaxBatch = 16;

    virtual ~RowSink() = default;
    // How the picture is to be turned for display: it travels with the
    // rows, which stay as stored. Set by the load before Begin.
    void SetOrientation(Orientation o) { orientation_ = o; }
    Orientation PictureOrientation() const { return orientation_; }
    // The picture's size and layout, before any row; palette and masks start
    // empty. Throws when no bitmap of this size may exist, so an absurd
    // header fails before any pixel work.
    virtual void Begin(int width, int height, int bitsPerPixel) = 0;
    // Entries 0x00RRGGBB; filled after Begin, before the first row.
    virtual std::vector<uint32_t>& Palette() = 0;
    // Room for row y, Bitmap::StrideFor(width, bitsPerPixel) bytes.
    virtual uint8_t* Row(int y) = 0;
    // Rows [first, first + count) are written.
    virtual void RowsDone(int first, int count) = 0;
    // The first row from y on that the sink looks at, or the height when it
    // looks at none: a decoder may pass over the rows before it instead of
    // making them. Asked with y never decreasing between rows.
    virtual int NextRowWanted(int y) { return y; }
    // For decoders that only make whole pictures: the bitmap to make it in,
    // handed over by WholeDone.
    virtual Bitmap& Whole() = 0;
    virtual void WholeDone() = 0;
    // The load failed: nothing written is to be shown.
    virtual void Abandon() = 0;

private:
    Orientation orientation_ = Orientation::Normal;
};

// Keeps the whole picture in a bitmap, whose storage is reused when it fits.
class PictureSink final : public RowSink {
public:
    explicit PictureSink(Bitmap& out) : out_(&out) {}
    void Begin(int width, int height, int bitsPerPixel) override;
    std::vector<uint32_t>& Palette() override { return out_->Palette(); }
    uint8_t* Row(int y) override { return out_->Row(y); }
    void RowsDone(int, int) override {}
    Bitmap& Whole() override { return *out_; }
    void WholeDone() override {}
    void Abandon() override { out_->Clear(); }

private:
    Bitmap* out_;
};

class Decoder {
public:
    enum class State { Working, Done, Failed };

    virtual ~Decoder() = default;
    // Begins on `file`, which must stay put until the decode ends, as must
    // the sink. `pieceBytes` bounds the input one piece of work looks at;
    // 0 does everything at once.
    virtual void Start(std::span<const uint8_t> file, RowSink& out, size_t pieceBytes) = 0;
    // Whether the decoder can also begin on a file's first bytes and read
    // the rest itself as it goes, holding only a piece of it at a time.
    virtual bool ReadsOn() const { return false; }
    // Begins so on `head`, reading on from `rest` (see FileReader::ReadOn);
    // both must stay put until the decode ends. `pieceBytes` is not 0.
    // Asked only of a decoder that ReadsOn.
    virtual void StartReadingOn(std::span<const uint8_t>, FileReader&, RowSink&, size_t) {}
    // Works until the deadline has passed (at least one piece), or to the
    // end with kNoDeadline. Failed leaves no picture: the sink's rows are
    // not to be shown.
    virtual State Step(StepDeadline deadline) = 0;
    // Drops a decode in progress.
    virtual void Cancel() = 0;
};

// Runs `decode` over the whole file at once into `out`; false leaves `out` empty.
bool DecodeWhole(Decoder& decode, std::span<const uint8_t> file, Bitmap& out);

// The same with a decoder of type D made for it.
template <class D>
bool DecodeWith(const uint8_t* data, size_t size, Bitmap& out) {
    D decode;
    return DecodeWhole(decode, {data, size}, out);
}

// A stepped decoder whose state lives in a context of its own, defined in
// the decoder's file so no codec header leaks out: made by Start, dropped
// as soon as the decode ends or is cancelled.
template <class Context>
class ContextDecoder : public Decoder {
public:
    void Cancel() override {
        ctx_.reset();
        state_ = State::Failed;
    }

protected:
    // A fresh context on `file` for `out`, the decode working.
    Context& NewContext(std::span<const uint8_t> file, RowSink& out) {
        ctx_ = std::make_unique<Context>();
        ctx_->file = file;
        ctx_->out = &out;
        state_ = State::Working;
        return *ctx_;
    }
    State Finish(bool ok) {
        Cancel();
        state_ = ok ? State::Done : State::Failed;
        return state_;
    }

    std::unique_ptr<Context> ctx_;
    State state_ = State::Failed;
};

// For formats whose reader cannot stop midway: the whole decode is one piece.
class WholeDecoder final : public Decoder {
public:
    using DecodeFn = bool (*)(const uint8_t* data, size_t size, Bitmap& out);
    explicit WholeDecoder(DecodeFn decode) : decode_(decode) {}
    void Start(std::span<const uint8_t> file, RowSink& out, size_t pieceBytes) override;
    State Step(StepDeadline deadline) override;
    void Cancel() override {
        out_ = nullptr;
        state_ = State::Failed;
    }

private:
    DecodeFn decode_;
    State state_ = State::Failed;
    std::span<const uint8_t> file_;
    RowSink* out_ = nullptr;
};

}  // namespace pelumir
