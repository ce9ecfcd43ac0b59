#pragma once
// What the load asks of every format: one plain function that reads the
// file and hands its rows, in order, to a sink that keeps them or fits
// them into a frame.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "image/ColourSource.h"
#include "image/Orientation.h"
#include "platform/Bitmap.h"

namespace pelumir {

class FileReader;

// Takes a picture's rows top to bottom as a decoder makes them.
class RowSink {
public:
    // The most rows a decoder asks room for before it hands them over.
    static constexpr int kMaxBatch = 16;

    virtual ~RowSink() = default;
    // The picture's size and layout, before any row, and how it is to be
    // turned for display (the rows stay as stored); palette starts empty.
    // Throws when no bitmap of this size may exist, so an absurd header
    // fails before any pixel work.
    virtual void Begin(int width, int height, int bitsPerPixel, Orientation orientation) = 0;
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
    // handed over by WholeDone with its orientation.
    virtual Bitmap& Whole() = 0;
    virtual void WholeDone(Orientation orientation) = 0;
    // The load failed: nothing written is to be shown.
    virtual void Abandon() = 0;

    // Asked by a decoder before each batch of rows: once false, the picture
    // is no longer wanted and the decoder ends at once, without it.
    bool Wanted() {
        if (!dropped_ && stillWanted_ && !stillWanted_()) dropped_ = true;
        return !dropped_;
    }
    bool Dropped() const { return dropped_; }
    // What Wanted asks from here on; none: always wanted.
    void WatchWanted(std::function<bool()> stillWanted) {
        stillWanted_ = std::move(stillWanted);
        dropped_ = false;
    }

private:
    std::function<bool()> stillWanted_;
    bool dropped_ = false;
};

// Keeps the whole picture in a bitmap, whose storage is reused when it fits.
class PictureSink final : public RowSink {
public:
    explicit PictureSink(Bitmap& out) : out_(&out) {}
    void Begin(int width, int height, int bitsPerPixel, Orientation) override;
    std::vector<uint32_t>& Palette() override { return out_->Palette(); }
    uint8_t* Row(int y) override { return out_->Row(y); }
    void RowsDone(int, int) override {}
    Bitmap& Whole() override { return *out_; }
    void WholeDone(Orientation) override {}
    void Abandon() override { out_->Clear(); }

private:
    Bitmap* out_;
};

// A file as a decoder reads it: its bytes in memory, the whole file or,
// for a decoder that reads on, its first bytes with the rest to be read.
class FileInput {
public:
    // A file held whole. `pieceBytes` bounds the input a decoder that takes
    // it in pieces gives its library at a time; 0 gives all at once.
    explicit FileInput(std::span<const uint8_t> file, bool followExif = true, size_t pieceBytes = 0)
        : bytes_(file), pieceBytes_(pieceBytes), followExif_(followExif) {}
    // A file of which `head` is read, the rest to come from `rest` a piece
    // at a time; both must stay put until the decode ends.
    FileInput(std::span<const uint8_t> head, FileReader& rest, bool followExif, size_t pieceBytes)
        : bytes_(head), rest_(&rest), pieceBytes_(pieceBytes), followExif_(followExif) {}

    std::span<const uint8_t> Bytes() const { return bytes_; }
    // Whether more of the file than Bytes() may be read on.
    bool ReadsOn() const { return rest_ != nullptr; }
    // After Bytes(), the file's next bytes into `to`: how many, 0 at its
    // end, -1 when the reading failed.
    ptrdiff_t ReadOn(uint8_t* to, size_t size);
    size_t PieceBytes() const { return pieceBytes_; }
    // The orientation the EXIF data in Bytes() names (a TIFF's own tag
    // among them), or Normal when the load shows pictures as stored.
    Orientation ExifOrientation() const;

private:
    std::span<const uint8_t> bytes_;
    FileReader* rest_ = nullptr;
    size_t pieceBytes_;
    bool followExif_;
};

// What a decode gives besides its rows.
struct Decoded {
    int width = 0, height = 0;
    // How the picture is to be turned: its EXIF's, or its container's own.
    Orientation orientation = Orientation::Normal;
    // What the rows' colours are, as the file says.
    ColourSource colour;
};

// One format's decoder: the picture's rows into `out`, or nothing for a
// file it cannot read or a picture no longer wanted (out.Dropped()). The
// sink's exceptions (a refused size, memory run out) pass through it, and
// are a failure too. A failure leaves the sink's rows not to be shown.
using DecodeFn = std::optional<Decoded> (*)(FileInput& in, RowSink& out);

// Runs `decode` over a file held whole into `out`; false leaves `out`
// empty. The orientation goes to `orientation` when given.
bool DecodeWhole(DecodeFn decode, std::span<const uint8_t> file, Bitmap& out, Orientation* orientation = nullptr);

}  // namespace pelumir
