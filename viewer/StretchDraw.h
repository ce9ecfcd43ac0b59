#pragma once
// Fitting a picture into an area: shrunk to fit with its aspect ratio kept,
// never enlarged, centred on black.
#include <cstdint>
#include <functional>
#include <memory>

#include "image/Decoder.h"
#include "image/Orientation.h"
#include "platform/Bitmap.h"

namespace pelumir {

// Right and bottom edges exclusive.
struct FitRect {
    int64_t left = 0, top = 0, right = 0, bottom = 0;
    int64_t Width() const { return right - left; }
    int64_t Height() const { return bottom - top; }
    bool operator==(const FitRect&) const = default;
};

// Where a gW x gH picture lands in a W x H area. Computed in 64 bits so any
// size the loaders accept gives the exact rectangle without overflow.
FitRect ComputeFittedRect(int64_t gW, int64_t gH, int64_t W, int64_t H);
// The same for a stored gW x gH picture shown as `orientation` turns it.
inline FitRect FittedArea(int64_t gW, int64_t gH, Orientation orientation, int64_t W, int64_t H) {
    return SwapsSides(orientation) ? ComputeFittedRect(gH, gW, W, H) : ComputeFittedRect(gW, gH, W, H);
}

// The shown frame and the one prepared are 32-bit, as the screen is: a
// third more memory than 24, but painted with a plain copy, where 24-bit
// rows cost milliseconds of turning at every change.
inline constexpr int kFrameBits = 32;

// Fills (0,0)-(W,H) of the 24- or 32-bit canvas black and point-samples the whole
// picture into its fitted rectangle. The canvas must already be at least
// W x H. Returns false (leaving only the black fill) for an empty picture.
// The picture is shown as `orientation` turns it: fitted by its turned
// size, each frame pixel sampled from the stored one it shows.
bool DrawFitted(const Bitmap& picture, Bitmap& canvas, int W, int H, Orientation orientation = Orientation::Normal);
// The same, byte for byte, a band of frame rows at a time: each band is
// finished when `bandDone` hears of it, and nothing above it is touched
// again (a turned picture comes as one band).
bool DrawFittedInBands(const Bitmap& picture, Bitmap& canvas, int W, int H, Orientation orientation,
                       const std::function<void(int top, int rows)>& bandDone);

// Fits a picture while it is decoded: each row, as it arrives, is
// point-sampled into the frame rows that show it, so no full-size bitmap
// is ever made. The frame ends byte for byte as DrawFitted leaves it.
class FittedSink final : public RowSink {
public:
    FittedSink();
    ~FittedSink() override;
    // The W x H area of the 24- or 32-bit `frame` to fit the next picture into;
    // by the first row the frame must be at least that large. It is filled
    // black once the picture's size is known.
    void Aim(Bitmap& frame, int W, int H);
    void Begin(int width, int height, int bitsPerPixel, Orientation orientation) override;
    std::vector<uint32_t>& Palette() override { return rows_.Palette(); }
    uint8_t* Row(int y) override;
    void RowsDone(int first, int count) override;
    // Only the rows the frame shows are wanted.
    int NextRowWanted(int y) override;
    Bitmap& Whole() override { return whole_; }
    void WholeDone(Orientation orientation) override;
    void Abandon() override {}
    // Gives back the storage of the rows in flight.
    void Release();
    // Where the last picture begun lands in the frame.
    FitRect Area() const { return area_; }

private:
    struct Fit;
    struct Size {
        int width = 0, height = 0;
    };
    Bitmap* frame_ = nullptr;
    int W_ = 0, H_ = 0;
    Size picture_;
    FitRect area_;
    Bitmap rows_;   // the last batch of rows, kMaxBatch high
    Bitmap whole_;  // a picture that came whole
    std::unique_ptr<Fit> fit_;
};

}  // namespace pelumir
