#include "image/GifLoader.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "image/Animation.h"

namespace pelumir {

namespace {

struct GifContext {
    std::span<const uint8_t> file;
    size_t read = 0;
    RowSink* out = nullptr;
    FileInput* in = nullptr;
    std::vector<uint8_t> piece;  // read on from the file, used up to pieceEnd
    size_t pieceAt = 0, pieceEnd = 0;
    GifFileType* gif = nullptr;
    int width = 0, height = 0;              // the canvas
    int left = 0, top = 0, fw = 0, fh = 0;  // the first picture on it
    bool interlaced = false;
    uint32_t colours[256] = {};  // B, G, R as 0x00RRGGBB; unused and transparent ones black
    // One row, or the whole picture when interlaced; left as it is, since
    // every line is read into it before any is shown.
    std::unique_ptr<uint8_t[]> indices;
    int decoded = 0;  // picture rows read from the file
    int handed = 0;   // canvas rows given to the sink

    GifContext() = default;
    GifContext(const GifContext&) = delete;
    GifContext& operator=(const GifContext&) = delete;
    ~GifContext() {
        if (gif != nullptr) DGifCloseFile(gif, nullptr);
    }
};

using Ctx = GifContext;

int ReadBytes(GifFileType* gif, GifByteType* to, int n) {
    Ctx& c = *static_cast<Ctx*>(gif->UserData);
    const size_t wanted = size_t(n < 0 ? 0 : n);
    size_t count = std::min(wanted, c.file.size() - c.read);
    if (count != 0) std::memcpy(to, c.file.data() + c.read, count);
    c.read += count;
    // Past what was read of the file: on from the file itself a piece at a
    // time (giflib asks for a block of at most 255 bytes), so a long
    // animation's first picture costs its own bytes, not the file's.
    while (count < wanted && c.in->ReadsOn()) {
        if (c.pieceAt == c.pieceEnd) {
            c.piece.resize(std::max<size_t>(c.in->PieceBytes(), 4096));
            const ptrdiff_t more = c.in->ReadOn(c.piece.data(), c.piece.size());
            if (more <= 0) break;
            c.pieceAt = 0;
            c.pieceEnd = size_t(more);
        }
        const size_t n = std::min(wanted - count, c.pieceEnd - c.pieceAt);
        std::memcpy(to + count, c.piece.data() + c.pieceAt, n);
        c.pieceAt += n;
        count += n;
    }
    return int(count);
}

// Reads up to the first picture's descriptor, taking the transparent
// colour from a graphic control block on the way.
bool ReadToPicture(Ctx& c) {
    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(c.gif, &type) == GIF_ERROR) return false;
        if (type == IMAGE_DESC_RECORD_TYPE) break;
        if (type != EXTENSION_RECORD_TYPE) return false;  // the end before any picture
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(c.gif, &code, &block) == GIF_ERROR) return false;
        if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
            GraphicsControlBlock gcb;
            if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK) transparent = gcb.TransparentColor;
        }
        while (block != nullptr)
            if (DGifGetExtensionNext(c.gif, &block) == GIF_ERROR) return false;
    }
    if (DGifGetImageDesc(c.gif) == GIF_ERROR) return false;
    const GifImageDesc& d = c.gif->Image;
    const ColorMapObject* map = d.ColorMap != nullptr ? d.ColorMap : c.gif->SColorMap;
    if (map == nullptr || d.Width <= 0 || d.Height <= 0) return false;
    for (int i = 0; i < map->ColorCount && i < 256; ++i) {
        const GifColorType& rgb = map->Colors[i];
        c.colours[i] = uint32_t(rgb.Red) << 16 | uint32_t(rgb.Green) << 8 | rgb.Blue;
    }
    if (transparent >= 0 && transparent < 256) c.colours[transparent] = 0;
    c.left = d.Left, c.top = d.Top, c.fw = d.Width, c.fh = d.Height;
    c.interlaced = d.Interlace;
    // A picture reaching past the canvas widens it, as browsers do.
    c.width = std::max(c.gif->SWidth, c.left + c.fw);
    c.height = std::max(c.gif->SHeight, c.top + c.fh);
    return true;
}

void PutRow(Ctx& c, int y, const uint8_t* indices) {
    uint8_t* row = c.out->Row(y);
    std::memset(row, 0, size_t(c.width) * 3);
    if (indices != nullptr) {
        uint8_t* p = row + size_t(c.left) * 3;
        for (int x = 0; x < c.fw; ++x, p += 3) {
            const uint32_t rgb = c.colours[indices[x]];
            p[0] = uint8_t(rgb), p[1] = uint8_t(rgb >> 8), p[2] = uint8_t(rgb >> 16);
        }
    }
    c.out->RowsDone(y, 1);
}

// Hands on canvas rows up to `limit`, those the sink wants; false when
// the picture is no longer wanted. The picture's rows come from `picture`
// (row r at r * fw), or none for the rows outside it.
bool HandOn(Ctx& c, int limit, const uint8_t* picture, bool whole) {
    for (; c.handed < limit; ++c.handed) {
        const int y = c.handed;
        if ((y & 15) == 0 && !c.out->Wanted()) return false;
        const int r = y - c.top;
        const bool inside = r >= 0 && r < c.fh;
        if (c.out->NextRowWanted(y) == y)
            PutRow(c, y, !inside ? nullptr : whole ? picture + size_t(r) * size_t(c.fw) : picture);
    }
    return true;
}

// The row of an interlaced picture `height` rows high that its line `n`
// in the order they are stored holds: the lines come in four passes.
int InterlacedRow(int n, int height) {
    static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    int pass = 0;
    for (; pass < 3; ++pass) {
        const int rows = (height - kStart[pass] + kStep[pass] - 1) / kStep[pass];
        if (n < rows) break;
        n -= rows;
    }
    return kStart[pass] + n * kStep[pass];
}

// Where the picture's line `n`, in the order they are stored, goes.
size_t StoredLine(const Ctx& c, int n) {
    return c.interlaced ? size_t(InterlacedRow(n, c.fh)) * size_t(c.fw) : 0;
}

}  // namespace

std::optional<Decoded> DecodeGif(FileInput& in, RowSink& out) {
    GifContext c;
    c.file = in.Bytes();
    c.in = &in;
    c.out = &out;
    int error = 0;
    c.gif = DGifOpen(&c, ReadBytes, &error);
    if (c.gif == nullptr || !ReadToPicture(c)) return std::nullopt;
    // Before any pixel: the sink refuses a canvas too large.
    if (c.interlaced) Bitmap::CheckSize(c.fw, c.fh, 8);
    out.Begin(c.width, c.height, 24, Orientation::Normal);
    c.indices.reset(new uint8_t[size_t(c.fw) * size_t(c.interlaced ? c.fh : 1)]);
    for (; c.decoded < c.fh; ++c.decoded) {
        uint8_t* line = c.indices.get() + StoredLine(c, c.decoded);
        if (!c.interlaced && !HandOn(c, c.top, nullptr, false)) return std::nullopt;
        if (c.interlaced && (c.decoded & 15) == 0 && !out.Wanted()) return std::nullopt;
        if (DGifGetLine(c.gif, line, c.fw) == GIF_ERROR) return std::nullopt;
        if (!c.interlaced && !HandOn(c, c.top + c.decoded + 1, line, false)) return std::nullopt;
    }
    if (!HandOn(c, c.height, c.indices.get(), c.interlaced)) return std::nullopt;
    return Decoded{c.width, c.height, Orientation::Normal, {}};
}

namespace {

// The file as giflib reads it for a frame source.
struct GifInput {
    std::span<const uint8_t> file;
    size_t read = 0;
};

int ReadGifInput(GifFileType* gif, GifByteType* to, int n) {
    GifInput& in = *static_cast<GifInput*>(gif->UserData);
    const size_t count = std::min(size_t(n < 0 ? 0 : n), in.file.size() - in.read);
    if (count != 0) std::memcpy(to, in.file.data() + in.read, count);
    in.read += count;
    return int(count);
}

// giflib keeps a record of every picture descriptor read; a source reads
// them all, again each loop, so each is let go at once.
void ForgetPictures(GifFileType* gif) {
    GifFreeSavedImages(gif);
    gif->SavedImages = nullptr;
    gif->ImageCount = 0;
}

// Passes over a picture's compressed data without decoding it.
bool SkipPicture(GifFileType* gif) {
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return false;
    while (block != nullptr)
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
    return true;
}

// Reads the extension record whose type was read, taking a graphic
// control block into `gcb` and a loop count into `loops`.
bool ReadExtension(GifFileType* gif, GraphicsControlBlock& gcb, int* loops) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) DGifExtensionToGCB(block[0], block + 1, &gcb);
    const bool looping = code == APPLICATION_EXT_FUNC_CODE && block != nullptr && block[0] == 11 &&
                         (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 || std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0);
    for (bool first = true; block != nullptr; first = false) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
        // The count is of repeats after the first play, as browsers take it.
        if (looping && first && loops != nullptr && block != nullptr && block[0] >= 3 && block[1] == 1) {
            const int repeats = block[2] | block[3] << 8;
            *loops = repeats == 0 ? 0 : repeats + 1;
        }
    }
    return true;
}

// What opening learns by passing over the records up to the second picture.
struct GifScan {
    int width = 0, height = 0;
    int loops = 0;  // no loop extension: the file says nothing, so forever
    int pictures = 0;
};

void Scan(GifFileType* gif, GifScan& s) {
    GraphicsControlBlock gcb{};
    while (s.pictures < 2) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR || type == TERMINATE_RECORD_TYPE) return;
        if (type == EXTENSION_RECORD_TYPE) {
            if (!ReadExtension(gif, gcb, &s.loops)) return;
            continue;
        }
        if (DGifGetImageDesc(gif) == GIF_ERROR) return;
        ForgetPictures(gif);
        const GifImageDesc& d = gif->Image;
        if (++s.pictures == 1) {
            // The canvas the still decoder shows: widened by a first
            // picture reaching past it.
            s.width = std::max(gif->SWidth, d.Left + d.Width);
            s.height = std::max(gif->SHeight, d.Top + d.Height);
        }
        if (!SkipPicture(gif)) return;
    }
}

class GifFrames final : public FrameSource {
public:
    GifFrames(std::span<const uint8_t> file, const GifScan& s)
        : FrameSource(s.width, s.height, s.loops), in_{file} {}
    ~GifFrames() override { Close(); }
    GifFrames(const GifFrames&) = delete;
    GifFrames& operator=(const GifFrames&) = delete;

    bool Restart() override {
        Close();
        in_.read = 0;
        int error = 0;
        gif_ = DGifOpen(&in_, ReadGifInput, &error);
        rect_ = {};
        dispose_ = DISPOSAL_UNSPECIFIED;
        return gif_ != nullptr;
    }

protected:
    bool ReadFrame(Bitmap& canvas, int& delayMs) override {
        if (gif_ == nullptr) return false;
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
        for (;;) {
            GifRecordType type;
            if (DGifGetRecordType(gif_, &type) == GIF_ERROR || type == TERMINATE_RECORD_TYPE) return false;
            if (type == IMAGE_DESC_RECORD_TYPE) break;
            if (!ReadExtension(gif_, gcb, nullptr)) return false;
        }
        if (DGifGetImageDesc(gif_) == GIF_ERROR) return false;
        ForgetPictures(gif_);
        // Composed where it is shown from: the frames before are there.
        if (canvas.Empty()) {
            canvas.Allocate(Width(), Height(), 32);
            canvas.SetMasks({});
        }
        canvas_ = &canvas;
        Dispose();
        if (!Draw(gcb)) return false;
        delayMs = ShownDelay(gcb.DelayTime * 10.0);
        return true;
    }

private:
    struct Rect {
        int x = 0, y = 0, w = 0, h = 0;
    };

    uint32_t* At(int x, int y) { return reinterpret_cast<uint32_t*>(canvas_->Row(y)) + x; }

    void Close() {
        if (gif_ != nullptr) DGifCloseFile(gif_, nullptr);
        gif_ = nullptr;
    }

    // What the frame before asked done with its rectangle before the next.
    void Dispose() {
        for (int y = 0; y < rect_.h; ++y) {
            uint32_t* row = At(rect_.x, rect_.y + y);
            if (dispose_ == DISPOSE_BACKGROUND) std::fill(row, row + rect_.w, 0);
            if (dispose_ == DISPOSE_PREVIOUS)
                std::copy_n(&saved_[size_t(y) * size_t(rect_.w)], rect_.w, row);
        }
        dispose_ = DISPOSAL_UNSPECIFIED;
    }

    // The picture whose descriptor was read, clipped to the canvas; its
    // transparent pixels leave the canvas as it is.
    bool Draw(const GraphicsControlBlock& gcb) {
        const GifImageDesc& d = gif_->Image;
        const ColorMapObject* map = d.ColorMap != nullptr ? d.ColorMap : gif_->SColorMap;
        if (map == nullptr) return false;
        uint32_t colours[256] = {};  // unused ones black; the high byte marks the transparent one
        for (int i = 0; i < map->ColorCount && i < 256; ++i) {
            const GifColorType& rgb = map->Colors[i];
            colours[i] = uint32_t(rgb.Red) << 16 | uint32_t(rgb.Green) << 8 | rgb.Blue;
        }
        if (gcb.TransparentColor >= 0 && gcb.TransparentColor < 256) colours[gcb.TransparentColor] = 0xFF000000u;
        const int x0 = std::clamp(d.Left, 0, Width()), x1 = std::clamp(d.Left + d.Width, 0, Width());
        const int y0 = std::clamp(d.Top, 0, Height()), y1 = std::clamp(d.Top + d.Height, 0, Height());
        rect_ = {x0, y0, x1 - x0, y1 - y0};
        dispose_ = gcb.DisposalMode;
        if (dispose_ == DISPOSE_PREVIOUS) {
            saved_.resize(size_t(rect_.w) * size_t(rect_.h));
            for (int y = 0; y < rect_.h; ++y) std::copy_n(At(x0, y0 + y), rect_.w, &saved_[size_t(y) * size_t(rect_.w)]);
        }
        // Nothing of it shows: its data is passed over undecoded.
        if (rect_.w == 0 || rect_.h == 0) return SkipPicture(gif_);
        line_.resize(size_t(d.Width));
        for (int n = 0; n < d.Height; ++n) {
            if (DGifGetLine(gif_, line_.data(), d.Width) == GIF_ERROR) return false;
            const int y = d.Top + (d.Interlace ? InterlacedRow(n, d.Height) : n);
            if (y < y0 || y >= y1) continue;
            uint32_t* row = At(0, y);
            for (int x = x0; x < x1; ++x) {
                const uint32_t rgb = colours[line_[size_t(x - d.Left)]];
                if ((rgb >> 24) == 0) row[x] = rgb;
            }
        }
        return true;
    }

    GifInput in_;
    GifFileType* gif_ = nullptr;
    Bitmap* canvas_ = nullptr;     // 0x00RRGGBB: what the frames so far made, transparent parts black
    std::vector<uint32_t> saved_;   // the rectangle a frame disposed of as "previous" gives back
    std::vector<GifPixelType> line_;
    Rect rect_;    // the last frame's, clipped
    int dispose_ = DISPOSAL_UNSPECIFIED;
};

}  // namespace

std::unique_ptr<FrameSource> OpenGifAnimation(std::span<const uint8_t> file) {
    GifInput in{file};
    int error = 0;
    GifFileType* gif = DGifOpen(&in, ReadGifInput, &error);
    if (gif == nullptr) return nullptr;
    GifScan scan;
    Scan(gif, scan);
    DGifCloseFile(gif, nullptr);
    if (scan.pictures < 2) return nullptr;
    Bitmap::CheckSize(scan.width, scan.height, 32);
    auto source = std::make_unique<GifFrames>(file, scan);
    if (!source->Rewind()) return nullptr;
    return source;
}

}  // namespace pelumir
