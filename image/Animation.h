#pragma once
// Moving pictures a frame at a time: each frame composed at the picture's
// own size, so a player keeps one canvas and a frame or two ahead, never
// the whole animation.
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/Bitmap.h"

namespace pelumir {

// One frame after another of a moving picture, each composed at the
// picture's own size.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    int Width() const { return width_; }
    int Height() const { return height_; }
    // How often the whole animation is played; 0: forever.
    int Loops() const { return loops_; }
    // The next frame, composed by its disposal and blend rules onto the
    // frames before, in a bitmap of the source's own (32 bits, Width() x
    // Height(), 0x00RRGGBB, transparent parts composed onto black as the
    // still decoders do) that stays until the next call, with how long it
    // shows in milliseconds (under 20 ms counts as 100 ms, as browsers do).
    // Null at the end of the frames, or when a frame cannot be read or
    // memory runs out: the frames before it stay playable, from Rewind().
    const Bitmap* Next(int& delayMs);
    // Back to the first frame, for the next loop; false when the file can
    // no longer be read from its start.
    bool Rewind();

protected:
    FrameSource(int width, int height, int loops) : width_(width), height_(height), loops_(loops) {}
    // Next's work, into `canvas`: the same bitmap every time, as the frame
    // before left it, and empty after a rewind. May throw for memory.
    virtual bool ReadFrame(Bitmap& canvas, int& delayMs) = 0;
    // Rewind's work.
    virtual bool Restart() = 0;

private:
    int width_, height_, loops_;
    Bitmap canvas_;
};

// A frame source when the file is a moving picture of GIF, WebP, PNG
// (APNG) or JPEG XL with more than one frame, chosen by `extension` (".gif"
// etc., any case) and confirmed by the first bytes; null for a still
// picture, another format, a canvas larger than any bitmap may be, or a
// file that cannot be read. `file` stays put while the source lives.
std::unique_ptr<FrameSource> OpenAnimation(std::span<const uint8_t> file, std::string_view extension);

// For the formats' own sources.

// A frame's own delay as shown: under 20 ms counts as 100 ms.
int ShownDelay(double ms);

// Pixels of 4 bytes, B, G, R, A (or R, G, B, A when `rgba`), rows packed,
// composed onto black into `canvas` as 32 bits of the same size.
void ComposeCanvas(const uint8_t* pixels, int width, int height, bool rgba, Bitmap& canvas);

// Each format's source, in its loader's unit.
std::unique_ptr<FrameSource> OpenGifAnimation(std::span<const uint8_t> file);
std::unique_ptr<FrameSource> OpenWebpAnimation(std::span<const uint8_t> file);
std::unique_ptr<FrameSource> OpenPngAnimation(std::span<const uint8_t> file);
std::unique_ptr<FrameSource> OpenJxlAnimation(std::span<const uint8_t> file);

}  // namespace pelumir
