#pragma once
// WebP files made by libwebp's encoders, with the pixels they hold.
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tests/unit/AnimationFixture.h"

namespace testutil {

struct WebpSpec {
    int width = 6, height = 5;
    bool lossless = true;
    bool alpha = false;
    bool animated = false;  // a second, different frame after the first
    std::vector<uint8_t> icc = {};  // an ICCP chunk, in a still picture
};

// The first frame's pixels as B, G, R, A: smooth, so a lossy file stays close.
inline std::vector<uint8_t> WebpPixels(const WebpSpec& s, int frame = 0) {
    std::vector<uint8_t> bgra;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            const uint8_t a = s.alpha ? uint8_t(255 - 40 * ((x + y) % 4)) : 255;
            bgra.insert(bgra.end(), {uint8_t(40 + 20 * x), uint8_t(60 + 10 * y), uint8_t(frame ? 30 : 200), a});
        }
    return bgra;
}

inline std::vector<uint8_t> BuildWebp(const WebpSpec& s) {
    const std::vector<uint8_t> first = WebpPixels(s);
    const int stride = s.width * 4;
    std::vector<uint8_t> file;
    if (!s.animated) {
        uint8_t* out = nullptr;
        size_t size = 0;
        if (s.lossless) {
            size = WebPEncodeLosslessBGRA(first.data(), s.width, s.height, stride, &out);
        } else if (s.alpha) {
            size = WebPEncodeBGRA(first.data(), s.width, s.height, stride, 100, &out);
        } else {
            std::vector<uint8_t> bgr;
            for (size_t i = 0; i < first.size(); i += 4) bgr.insert(bgr.end(), &first[i], &first[i] + 3);
            size = WebPEncodeBGR(bgr.data(), s.width, s.height, s.width * 3, 100, &out);
        }
        file.assign(out, out + size);
        WebPFree(out);
        if (s.icc.empty()) return file;
        const WebPData image{file.data(), file.size()}, icc{s.icc.data(), s.icc.size()};
        WebPMux* mux = WebPMuxCreate(&image, 0);
        WebPMuxSetChunk(mux, "ICCP", &icc, 0);
        WebPData tagged;
        WebPMuxAssemble(mux, &tagged);
        file.assign(tagged.bytes, tagged.bytes + tagged.size);
        WebPDataClear(&tagged);
        WebPMuxDelete(mux);
        return file;
    }
    WebPAnimEncoderOptions options;
    WebPAnimEncoderOptionsInit(&options);
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(s.width, s.height, &options);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = 1;
    for (int frame = 0; frame < 2; ++frame) {
        const std::vector<uint8_t> pixels = WebpPixels(s, frame);
        WebPPicture picture;
        WebPPictureInit(&picture);
        picture.width = s.width;
        picture.height = s.height;
        picture.use_argb = 1;
        WebPPictureImportBGRA(&picture, pixels.data(), stride);
        WebPAnimEncoderAdd(encoder, &picture, frame * 100, &config);
        WebPPictureFree(&picture);
    }
    WebPAnimEncoderAdd(encoder, nullptr, 200, nullptr);
    WebPData data;
    WebPDataInit(&data);
    WebPAnimEncoderAssemble(encoder, &data);
    file.assign(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    WebPAnimEncoderDelete(encoder);
    return file;
}

// What a pixel of the first frame shows on black: 0x00RRGGBB.
inline uint32_t WebpShown(const WebpSpec& s, int x, int y) {
    const std::vector<uint8_t> p = WebpPixels(s);
    const uint8_t* q = p.data() + (size_t(y) * size_t(s.width) + size_t(x)) * 4;
    uint32_t c[3];
    for (int k = 0; k < 3; ++k) c[k] = (q[k] * uint32_t(q[3]) + 127) / 255;
    return c[2] << 16 | c[1] << 8 | c[0];
}

// Whole canvases, lossless: the encoder picks each frame's rectangle,
// disposal and blending itself.
inline std::vector<uint8_t> BuildWebpAnimation(const AnimationArt& a) {
    WebPAnimEncoderOptions options;
    WebPAnimEncoderOptionsInit(&options);
    options.anim_params.loop_count = a.loops;
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(a.width, a.height, &options);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = 1;
    int start = 0;
    for (size_t i = 0; i < a.canvases.size(); ++i) {
        WebPPicture picture;
        WebPPictureInit(&picture);
        picture.width = a.width, picture.height = a.height, picture.use_argb = 1;
        WebPPictureAlloc(&picture);
        for (int y = 0; y < a.height; ++y)
            std::copy_n(&a.canvases[i][size_t(y * a.width)], a.width, picture.argb + y * picture.argb_stride);
        WebPAnimEncoderAdd(encoder, &picture, start, &config);
        WebPPictureFree(&picture);
        start += a.frames[i].delayMs;
    }
    WebPAnimEncoderAdd(encoder, nullptr, start, nullptr);
    WebPData data;
    WebPDataInit(&data);
    WebPAnimEncoderAssemble(encoder, &data);
    std::vector<uint8_t> file(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    WebPAnimEncoderDelete(encoder);
    return file;
}

}  // namespace testutil
