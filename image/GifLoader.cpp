#include "image/GifLoader.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

namespace pelumir {

namespace {

struct GifContext {
    std::span<const uint8_t> file;
    size_t read = 0;
    RowSink* out = nullptr;
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
    const size_t count = std::min(size_t(n < 0 ? 0 : n), c.file.size() - c.read);
    if (count != 0) std::memcpy(to, c.file.data() + c.read, count);
    c.read += count;
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

// The picture's line `n` in the order they are stored: an interlaced
// picture's lines come in four passes.
size_t StoredLine(const Ctx& c, int n) {
    if (!c.interlaced) return 0;
    static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    int pass = 0;
    for (; pass < 4; ++pass) {
        const int rows = (c.fh - kStart[pass] + kStep[pass] - 1) / kStep[pass];
        if (n < rows) break;
        n -= rows;
    }
    return size_t(kStart[pass] + n * kStep[pass]) * size_t(c.fw);
}

}  // namespace

std::optional<Decoded> DecodeGif(FileInput& in, RowSink& out) {
    GifContext c;
    c.file = in.Bytes();
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

}  // namespace pelumir
