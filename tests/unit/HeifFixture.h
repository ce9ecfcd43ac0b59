#pragma once
// HEIC and AVIF files made by libheif's own encoders (x265 and aom) in
// memory, with the pixels they should show.
#include <libheif/heif.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace testutil {

struct HeifSpec {
    int width = 9, height = 6;  // odd: libheif crops the coded picture
    bool av1 = false;           // AVIF, else HEIC
    bool lossless = false;
    bool halfChroma = false;  // lossy colour at half resolution both ways (4:2:0), as phones store it
    bool alpha = false;
    int bits = 8;         // 8 or 10
    int orientation = 1;  // stored as turns and mirrors (irot, imir), numbered as EXIF numbers them
    std::vector<uint8_t> exif = {};  // an EXIF block beside the picture, TIFF header first
    std::vector<uint8_t> icc = {};   // an embedded profile
    int transfer = 0;                // the nclx transfer characteristics, or libheif's default
};

// The picture as stored, 8-bit R, G, B, A: smooth, as lossy coders keep it,
// and different in every direction, so a turn or mirror shows.
inline uint32_t HeifSample(const HeifSpec& s, int x, int y, int c) {
    switch (c) {
    case 0: return uint32_t(30 + x * 190 / s.width);
    case 1: return uint32_t(30 + y * 190 / s.height);
    case 2: return uint32_t(220 - (x + 2 * y) * 160 / (s.width + 2 * s.height));
    default: return !s.alpha || x < s.width / 2 ? 255u : y < s.height / 2 ? 100u : 0u;
    }
}

// The shown size, turned.
inline int HeifShownWidth(const HeifSpec& s) { return s.orientation >= 5 ? s.height : s.width; }
inline int HeifShownHeight(const HeifSpec& s) { return s.orientation >= 5 ? s.width : s.height; }

// What shown pixel (x, y) is, composed onto black: 0x00RRGGBB.
inline uint32_t HeifShown(const HeifSpec& s, int x, int y) {
    const int w = s.width, h = s.height;
    int sx = x, sy = y;  // the stored pixel it shows
    switch (s.orientation) {
    case 2: sx = w - 1 - x; break;
    case 3: sx = w - 1 - x, sy = h - 1 - y; break;
    case 4: sy = h - 1 - y; break;
    case 5: sx = y, sy = x; break;
    case 6: sx = y, sy = h - 1 - x; break;
    case 7: sx = w - 1 - y, sy = h - 1 - x; break;
    case 8: sx = w - 1 - y, sy = x; break;
    default: break;
    }
    const uint32_t a = HeifSample(s, sx, sy, 3);
    uint32_t out = 0;
    for (int c = 0; c < 3; ++c) out = out << 8 | (HeifSample(s, sx, sy, c) * a + 127) / 255;
    return out;
}

inline heif_error HeifAppend(heif_context*, const void* data, size_t size, void* file) {
    auto* out = static_cast<std::vector<uint8_t>*>(file);
    out->insert(out->end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    return {heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

inline void HeifCheck(heif_error e) {
    if (e.code != heif_error_Ok) throw std::runtime_error(std::string("libheif: ") + e.message);
}

inline std::vector<uint8_t> BuildHeif(const HeifSpec& s) {
    heif_init(nullptr);
    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    HeifCheck(heif_context_get_encoder_for_format(ctx, s.av1 ? heif_compression_AV1 : heif_compression_HEVC, &encoder));
    heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
    if (s.lossless) {
        // Coded as R, G, B themselves at full resolution: nothing is lost.
        HeifCheck(heif_encoder_set_lossless(encoder, 1));
        HeifCheck(heif_encoder_set_parameter(encoder, "chroma", "444"));
        nclx->matrix_coefficients = heif_matrix_coefficients_RGB_GBR;
    } else {
        HeifCheck(heif_encoder_set_lossy_quality(encoder, 90));
        HeifCheck(heif_encoder_set_parameter(encoder, "chroma", s.halfChroma ? "420" : "444"));
    }
    nclx->full_range_flag = 1;
    if (s.transfer != 0) nclx->transfer_characteristics = heif_transfer_characteristics(s.transfer);
    const bool deep = s.bits > 8;
    const heif_chroma chroma = deep ? (s.alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (s.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    heif_image* image = nullptr;
    HeifCheck(heif_image_create(s.width, s.height, heif_colorspace_RGB, chroma, &image));
    HeifCheck(heif_image_add_plane(image, heif_channel_interleaved, s.width, s.height, s.bits));
    HeifCheck(heif_image_set_nclx_color_profile(image, nclx));
    if (!s.icc.empty()) HeifCheck(heif_image_set_raw_color_profile(image, "prof", s.icc.data(), s.icc.size()));
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const int channels = s.alpha ? 4 : 3;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            for (int c = 0; c < channels; ++c) {
                const uint32_t v = HeifSample(s, x, y, c);
                uint8_t* at = plane + size_t(y) * size_t(stride) + size_t(x * channels + c) * (deep ? 2 : 1);
                if (deep) {
                    const uint32_t v10 = v * 1023 / 255;  // little-endian 16-bit words
                    at[0] = uint8_t(v10), at[1] = uint8_t(v10 >> 8);
                } else {
                    at[0] = uint8_t(v);
                }
            }
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = heif_orientation(s.orientation);
    options->output_nclx_profile = nclx;
    heif_image_handle* handle = nullptr;
    HeifCheck(heif_context_encode_image(ctx, image, encoder, options, &handle));
    if (!s.exif.empty())
        HeifCheck(heif_context_add_exif_metadata(ctx, handle, s.exif.data(), int(s.exif.size())));
    std::vector<uint8_t> file;
    heif_writer writer{1, HeifAppend};
    HeifCheck(heif_context_write(ctx, &writer, &file));
    heif_image_handle_release(handle);
    heif_encoding_options_free(options);
    heif_image_release(image);
    heif_nclx_color_profile_free(nclx);
    heif_encoder_release(encoder);
    heif_context_free(ctx);
    return file;
}

}  // namespace testutil
