#pragma once
// JPEG XL files made by libjxl's encoder, with the pixels they hold.
#include <jxl/encode.h>
#include <jxl/encode_cxx.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tests/unit/AnimationFixture.h"

namespace testutil {

struct JxlSpec {
    int width = 6, height = 5;
    bool lossless = true;
    bool grey = false;
    bool alpha = false;
    bool sixteen = false;    // 16 bits a sample, not 8
    int orientation = 1;     // as stored in the codestream, 1-8
    int exifOrientation = 0; // an Exif box holding this orientation, or none
    bool container = false;  // the codestream inside ISO boxes
    bool animated = false;   // a second, different frame after the first
    bool layered = false;    // a still picture of two frames, the second over a part of the first
    bool linear = false;     // the samples are linear light, not sRGB
    bool centreFirst = false; // groups stored from the middle outwards
    int effort = 3;
    std::vector<uint8_t> icc = {};  // a profile in place of the encoding
};

// A sample of the first frame, in 16 bits: smooth, so a lossy file stays close.
inline uint16_t JxlSample(const JxlSpec& s, int x, int y, int c, int frame = 0) {
    uint32_t v = 0;
    switch (c) {
    case 0: v = 40 + (200 * x) / (s.width > 1 ? s.width - 1 : 1); break;
    case 1: v = 60 + (150 * y) / (s.height > 1 ? s.height - 1 : 1); break;
    case 2: v = frame ? 30 : 200; break;
    default: v = 255 - 40 * ((x + y) % 4); break;  // alpha
    }
    // The low byte makes 16-bit samples round both ways when reduced to 8.
    return uint16_t(v * 256 + (s.sixteen ? (x * 53 + y * 97 + c * 31) % 256 : v));
}

// The part of the picture the second frame of a layered picture covers.
inline bool JxlInLayer(const JxlSpec& s, int x, int y) { return s.layered && x >= 2 && x < 5 && y >= 1 && y < 3; }

inline uint8_t JxlTo8(uint16_t v) { return uint8_t((v * 255u + 32767u) / 65535u); }

// The file an encoder makes of the frames it was given.
inline std::vector<uint8_t> JxlOutput(JxlEncoder* enc) {
    JxlEncoderCloseInput(enc);
    std::vector<uint8_t> file(4096);
    size_t used = 0;
    for (;;) {
        uint8_t* next = file.data() + used;
        size_t avail = file.size() - used;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(enc, &next, &avail);
        used = size_t(next - file.data());
        if (status != JXL_ENC_NEED_MORE_OUTPUT) {
            file.resize(status == JXL_ENC_SUCCESS ? used : 0);
            return file;
        }
        file.resize(file.size() * 2);
    }
}

inline std::vector<uint8_t> BuildJxl(const JxlSpec& s) {
    const int colours = s.grey ? 1 : 3, channels = colours + (s.alpha ? 1 : 0);
    JxlEncoderPtr enc = JxlEncoderMake(nullptr);
    JxlEncoderUseContainer(enc.get(), s.container || s.exifOrientation != 0);
    if (s.exifOrientation != 0) JxlEncoderUseBoxes(enc.get());
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = uint32_t(s.width);
    info.ysize = uint32_t(s.height);
    info.bits_per_sample = s.sixteen ? 16 : 8;
    info.num_color_channels = uint32_t(colours);
    info.alpha_bits = s.alpha ? info.bits_per_sample : 0;
    info.num_extra_channels = s.alpha ? 1 : 0;
    info.uses_original_profile = s.lossless;
    info.orientation = JxlOrientation(s.orientation);
    info.have_animation = s.animated;
    info.animation.tps_numerator = 10;
    info.animation.tps_denominator = 1;
    if (JxlEncoderSetBasicInfo(enc.get(), &info) != JXL_ENC_SUCCESS) return {};
    JxlColorEncoding colour;
    if (s.linear) JxlColorEncodingSetToLinearSRGB(&colour, s.grey);
    else JxlColorEncodingSetToSRGB(&colour, s.grey);
    if (s.icc.empty()) JxlEncoderSetColorEncoding(enc.get(), &colour);
    else JxlEncoderSetICCProfile(enc.get(), s.icc.data(), s.icc.size());
    if (s.exifOrientation != 0) {
        // A TIFF header and one IFD with the Orientation tag, behind the
        // four bytes that say where it starts.
        const uint8_t exif[] = {0, 0, 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1,
                                0, uint8_t(s.exifOrientation), 0, 0, 0, 0, 0, 0};
        JxlEncoderAddBox(enc.get(), "Exif", exif, sizeof exif, JXL_FALSE);
        JxlEncoderCloseBoxes(enc.get());
    }
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(enc.get(), nullptr);
    JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT, s.effort);
    if (s.centreFirst) JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_GROUP_ORDER, 1);
    if (s.lossless) JxlEncoderSetFrameLossless(settings, JXL_TRUE);
    else JxlEncoderSetFrameDistance(settings, 0.5f);
    const JxlPixelFormat format{uint32_t(channels), JXL_TYPE_UINT16, JXL_NATIVE_ENDIAN, 0};
    for (int frame = 0; frame < (s.animated || s.layered ? 2 : 1); ++frame) {
        JxlFrameHeader header;
        JxlEncoderInitFrameHeader(&header);
        header.duration = s.animated ? 1 : 0;
        if (s.layered && frame == 1) {
            header.layer_info.have_crop = JXL_TRUE;
            header.layer_info.crop_x0 = 2, header.layer_info.crop_y0 = 1;
            header.layer_info.xsize = 3, header.layer_info.ysize = 2;
        }
        JxlEncoderSetFrameHeader(settings, &header);
        std::vector<uint16_t> pixels;
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) {
                if (frame == 1 && s.layered && !JxlInLayer(s, x, y)) continue;
                for (int c = 0; c < colours; ++c) pixels.push_back(JxlSample(s, x, y, c, frame));
                if (s.alpha) pixels.push_back(JxlSample(s, x, y, 3, frame));
            }
        if (JxlEncoderAddImageFrame(settings, &format, pixels.data(), pixels.size() * 2) != JXL_ENC_SUCCESS) return {};
    }
    return JxlOutput(enc.get());
}

// What a pixel of the first frame (of a layered picture, the two together)
// shows on black, as stored (before any turn): 0x00RRGGBB.
inline uint32_t JxlShown(const JxlSpec& s, int x, int y) {
    const int frame = JxlInLayer(s, x, y) ? 1 : 0;
    const unsigned a = s.alpha ? JxlTo8(JxlSample(s, x, y, 3, frame)) : 255;
    uint32_t out = 0;
    for (int c = 0; c < 3; ++c) {
        unsigned v = JxlTo8(JxlSample(s, x, y, s.grey ? 0 : c, frame));
        if (s.linear) {  // in sRGB's curve
            const double l = v / 255.0;
            v = unsigned(std::lround(255 * (l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1 / 2.4) - 0.055)));
        }
        out = out << 8 | (v * a + 127) / 255;
    }
    return out;
}

// Whole canvases of 8-bit R, G, B, A, lossless; durations in hundredths.
inline std::vector<uint8_t> BuildJxlAnimation(const AnimationArt& a) {
    JxlEncoderPtr enc = JxlEncoderMake(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = uint32_t(a.width), info.ysize = uint32_t(a.height);
    info.bits_per_sample = info.alpha_bits = 8;
    info.num_extra_channels = 1;
    info.uses_original_profile = JXL_TRUE;
    info.have_animation = JXL_TRUE;
    info.animation = {100, 1, uint32_t(a.loops), JXL_FALSE};
    JxlEncoderSetBasicInfo(enc.get(), &info);
    JxlColorEncoding colour;
    JxlColorEncodingSetToSRGB(&colour, JXL_FALSE);
    JxlEncoderSetColorEncoding(enc.get(), &colour);
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(enc.get(), nullptr);
    JxlEncoderSetFrameLossless(settings, JXL_TRUE);
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    for (size_t i = 0; i < a.canvases.size(); ++i) {
        JxlFrameHeader header;
        JxlEncoderInitFrameHeader(&header);
        header.duration = uint32_t(a.frames[i].delayMs / 10);
        JxlEncoderSetFrameHeader(settings, &header);
        std::vector<uint8_t> rgba;
        for (uint32_t c : a.canvases[i]) rgba.insert(rgba.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 24)});
        JxlEncoderAddImageFrame(settings, &format, rgba.data(), rgba.size());
    }
    return JxlOutput(enc.get());
}

}  // namespace testutil
