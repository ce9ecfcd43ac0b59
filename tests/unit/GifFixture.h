#pragma once
// GIF files made by giflib's encoder, with the pixels they should show.
#include <gif_lib.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tests/unit/AnimationFixture.h"

namespace testutil {

struct GifSpec {
    int width = 7, height = 5;  // the canvas
    int left = 0, top = 0, frameWidth = 7, frameHeight = 5;  // the first picture on it
    bool interlaced = false;
    bool localMap = false;     // the picture's own colours instead of the file's
    int transparent = -1;      // an index shown black
    bool animated = false;     // a second picture after the first
};

inline uint8_t GifIndex(int x, int y) { return uint8_t((x * 5 + y * 3) % 16); }
inline uint32_t GifColour(const GifSpec& s, int i) {  // 0x00RRGGBB
    return s.localMap ? uint32_t(i * 15) << 8 | 0x40 : uint32_t(i * 16) << 16 | uint32_t(255 - i * 8);
}

// What a canvas pixel shows: 0x00RRGGBB.
inline uint32_t GifShown(const GifSpec& s, int x, int y) {
    const int fx = x - s.left, fy = y - s.top;
    if (fx < 0 || fy < 0 || fx >= s.frameWidth || fy >= s.frameHeight) return 0;
    const int i = GifIndex(fx, fy);
    return i == s.transparent ? 0 : GifColour(s, i);
}

inline int GifAppend(GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

inline ColorMapObject* GifMap(const GifSpec& s) {
    GifColorType colours[16];
    for (int i = 0; i < 16; ++i) {
        const uint32_t c = GifColour(s, i);
        colours[i] = {GifByteType(c >> 16), GifByteType(c >> 8), GifByteType(c)};
    }
    return GifMakeMapObject(16, colours);
}

inline std::vector<uint8_t> BuildGif(const GifSpec& s) {
    std::vector<uint8_t> file;
    int error = 0;
    GifFileType* gif = EGifOpen(&file, GifAppend, &error);
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = GifMap({});
    ColorMapObject* local = s.localMap ? GifMap(s) : nullptr;
    EGifPutScreenDesc(gif, s.width, s.height, 8, 0, global);
    for (int frame = 0; frame < (s.animated ? 2 : 1); ++frame) {
        GraphicsControlBlock gcb{};
        gcb.DelayTime = 10;
        gcb.TransparentColor = frame == 0 ? s.transparent : NO_TRANSPARENT_COLOR;
        GifByteType block[4];
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(EGifGCBToExtension(&gcb, block)), block);
        EGifPutImageDesc(gif, s.left, s.top, s.frameWidth, s.frameHeight, s.interlaced, local);
        std::vector<int> order;
        if (s.interlaced) {
            static const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = start[pass]; y < s.frameHeight; y += step[pass]) order.push_back(y);
        } else {
            for (int y = 0; y < s.frameHeight; ++y) order.push_back(y);
        }
        std::vector<GifPixelType> line(size_t(s.frameWidth));
        for (int y : order) {
            for (int x = 0; x < s.frameWidth; ++x) line[size_t(x)] = frame == 0 ? GifIndex(x, y) : 3;
            EGifPutLine(gif, line.data(), s.frameWidth);
        }
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(global);
    if (local != nullptr) GifFreeMapObject(local);
    return file;
}

// Its colours in one map, index 0 the transparent one of every frame.
inline std::vector<uint8_t> BuildGifAnimation(const AnimationArt& a) {
    std::vector<uint32_t> colours = {0};
    std::vector<std::vector<GifPixelType>> indices;
    for (const FrameArt& f : a.frames) {
        indices.emplace_back();
        for (uint32_t c : f.argb) {
            if ((c >> 24) != 0 && std::find(colours.begin(), colours.end(), c) == colours.end()) colours.push_back(c);
            indices.back().push_back((c >> 24) == 0 ? 0 : GifPixelType(std::find(colours.begin(), colours.end(), c) - colours.begin()));
        }
    }
    GifColorType map[16] = {};
    for (size_t i = 0; i < colours.size(); ++i)
        map[i] = {GifByteType(colours[i] >> 16), GifByteType(colours[i] >> 8), GifByteType(colours[i])};
    ColorMapObject* global = GifMakeMapObject(16, map);
    std::vector<uint8_t> file;
    int error = 0;
    GifFileType* gif = EGifOpen(&file, GifAppend, &error);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, a.width, a.height, 8, 0, global);
    // The extension counts the repeats after the first play.
    const int repeats = a.loops == 0 ? 0 : a.loops - 1;
    const GifByteType loop[3] = {1, GifByteType(repeats), GifByteType(repeats >> 8)};
    EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
    EGifPutExtensionBlock(gif, 3, loop);
    EGifPutExtensionTrailer(gif);
    for (size_t i = 0; i < a.frames.size(); ++i) {
        const FrameArt& f = a.frames[i];
        GraphicsControlBlock gcb{f.dispose + 1, false, f.delayMs / 10, 0};
        GifByteType block[4];
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(EGifGCBToExtension(&gcb, block)), block);
        EGifPutImageDesc(gif, f.x, f.y, f.width, f.height, false, nullptr);
        for (int y = 0; y < f.height; ++y) EGifPutLine(gif, &indices[i][size_t(y * f.width)], f.width);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(global);
    return file;
}

}  // namespace testutil
