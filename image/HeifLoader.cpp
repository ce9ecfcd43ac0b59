#include "image/HeifLoader.h"

#include <libheif/heif.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <utility>
#include <vector>

#include "image/LateLibrary.h"

namespace pelumir {

namespace {

// Every item's stored size, tiles and alpha included, is checked by libheif
// as the file is read; ours sees only the primary picture. Pinned here so a
// newer library's default cannot loosen it.
constexpr int kMaxItemSide = 32768;

// Every libheif function the decoder calls. The library (and the HEVC and
// AV1 decoders it pulls in) is opened on the first HEIF file (see
// LateLibrary.h).
#define PELUMIR_HEIF_FUNCTIONS(X) \
    X(heif_init) \
    X(heif_context_alloc) \
    X(heif_context_free) \
    X(heif_context_set_maximum_image_size_limit) \
    X(heif_context_read_from_memory_without_copy) \
    X(heif_context_get_primary_image_handle) \
    X(heif_image_handle_release) \
    X(heif_image_handle_get_width) \
    X(heif_image_handle_get_height) \
    X(heif_image_handle_get_ispe_width) \
    X(heif_image_handle_get_ispe_height) \
    X(heif_image_handle_has_alpha_channel) \
    X(heif_decoding_options_alloc) \
    X(heif_decoding_options_free) \
    X(heif_decode_image) \
    X(heif_image_release) \
    X(heif_image_get_width) \
    X(heif_image_get_height) \
    X(heif_image_get_plane_readonly) \
    X(heif_image_get_bits_per_pixel_range) \
    X(heif_image_is_premultiplied_alpha) \
    X(heif_image_handle_get_color_profile_type) \
    X(heif_image_handle_get_raw_color_profile_size) \
    X(heif_image_handle_get_raw_color_profile) \
    X(heif_image_handle_get_nclx_color_profile) \
    X(heif_nclx_color_profile_free)

struct HeifApi {
    PELUMIR_HEIF_FUNCTIONS(PELUMIR_LATE_MEMBER)
};

// The library, opened and initialised once (libheif registers its codecs in
// heif_init; counted by the library, never undone); null when it or one of
// its functions is missing, and every HEIF file then fails.
const HeifApi* Heif() {
    static HeifApi table;
    static const HeifApi* const api = [] {
        const HeifApi* opened = OpenLate("libheif.so.1", table, [](void* lib) {
            bool found = true;
            PELUMIR_HEIF_FUNCTIONS(PELUMIR_LATE_LOOKUP)
            return found;
        });
        if (opened != nullptr) opened->heif_init(nullptr);
        return opened;
    }();
    return api;
}

using Transfer = ColourSource::Transfer;

// The transfer characteristics of an nclx box (ITU-T H.273); those we do not
// model are read as sRGB's curve, the nearest for a picture made to be seen.
Transfer NclxTransfer(int code, double& gamma) {
    switch (code) {
    case 1: case 6: case 14: case 15: return Transfer::Bt709;
    case 8: return Transfer::Linear;
    case 16: return Transfer::Pq;
    case 18: return Transfer::Hlg;
    case 4: gamma = 2.2; return Transfer::Gamma;
    case 5: gamma = 2.8; return Transfer::Gamma;
    default: return Transfer::Srgb;
    }
}

// An embedded profile, or the coded description; untagged for sRGB, for
// unspecified values, or for nothing at all.
ColourSource ColourOf(const HeifApi& h, const heif_image_handle* handle) {
    const heif_color_profile_type type = h.heif_image_handle_get_color_profile_type(handle);
    if (type == heif_color_profile_type_rICC || type == heif_color_profile_type_prof) {
        const size_t size = h.heif_image_handle_get_raw_color_profile_size(handle);
        if (!IccSizeUsable(size)) return {};
        std::vector<uint8_t> profile(size);
        if (h.heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok)
            return {};
        return IccColour(profile);
    }
    if (type != heif_color_profile_type_nclx) return {};
    heif_color_profile_nclx* nclx = nullptr;
    // libheif hands the box over even when it refuses one of its values: freed either way.
    const bool read = h.heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok;
    if (!read || nclx == nullptr) {
        if (nclx != nullptr) h.heif_nclx_color_profile_free(nclx);
        return {};
    }
    // libheif leaves the coordinates of primaries it does not know unset:
    // only the named ones are read, and unspecified ones are sRGB's.
    std::array<double, 8> xy = kSrgbPrimaries;
    if (nclx->color_primaries != heif_color_primaries_unspecified &&
        nclx->color_primaries != heif_color_primaries_ITU_R_BT_709_5)
        xy = {nclx->color_primary_red_x,   nclx->color_primary_red_y,   nclx->color_primary_green_x,
              nclx->color_primary_green_y, nclx->color_primary_blue_x,  nclx->color_primary_blue_y,
              nclx->color_primary_white_x, nclx->color_primary_white_y};
    double gamma = 2.2;
    const Transfer transfer = NclxTransfer(int(nclx->transfer_characteristics), gamma);
    const bool known = nclx->color_primaries == heif_color_primaries_unspecified ||
                       nclx->color_primaries == heif_color_primaries_ITU_R_BT_709_5 ||
                       (nclx->color_primaries >= 4 && nclx->color_primaries <= 12) ||
                       nclx->color_primaries == heif_color_primaries_EBU_Tech_3213_E;
    h.heif_nclx_color_profile_free(nclx);
    return known ? DescribedColour(xy, transfer, gamma) : ColourSource{};
}

}  // namespace

void OpenHeifLibrary() { Heif(); }

namespace {

struct HeifContext {
    const HeifApi* h = nullptr;  // set while anything of the library is held
    std::span<const uint8_t> file;
    RowSink* out = nullptr;
    heif_context* heif = nullptr;
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    const uint8_t* pixels = nullptr;
    int stride = 0;
    int width = 0, height = 0;
    bool alpha = false, premultiplied = false;
    int handed = 0;
    ColourSource colour;

    HeifContext() = default;
    HeifContext(const HeifContext&) = delete;
    HeifContext& operator=(const HeifContext&) = delete;
    ~HeifContext() {
        if (h == nullptr) return;
        if (image != nullptr) h->heif_image_release(image);
        if (handle != nullptr) h->heif_image_handle_release(handle);
        if (heif != nullptr) h->heif_context_free(heif);
    }

    // Reads the header, checks the size, and decodes the whole picture.
    bool Decode() {
        h = Heif();
        if (h == nullptr) return false;
        heif = h->heif_context_alloc();
        if (heif == nullptr) return false;
        h->heif_context_set_maximum_image_size_limit(heif, kMaxItemSide);
        // The bytes stay put until the decode ends: no copy.
        const heif_error read = h->heif_context_read_from_memory_without_copy(heif, file.data(), file.size(), nullptr);
        if (read.code != heif_error_Ok) return false;
        if (h->heif_context_get_primary_image_handle(heif, &handle).code != heif_error_Ok) return false;
        // Shown size (after crop and turn) and stored size; libheif holds
        // the picture at the larger, 4 bytes a pixel as we ask for it.
        const int shownW = h->heif_image_handle_get_width(handle);
        const int shownH = h->heif_image_handle_get_height(handle);
        const int storedW = h->heif_image_handle_get_ispe_width(handle);
        const int storedH = h->heif_image_handle_get_ispe_height(handle);
        if (shownW <= 0 || shownH <= 0) return false;
        Bitmap::CheckSize(std::max(shownW, storedW), std::max(shownH, storedH), 32);

        colour = ColourOf(*h, handle);
        alpha = h->heif_image_handle_has_alpha_channel(handle) != 0;
        heif_decoding_options* options = h->heif_decoding_options_alloc();
        if (options == nullptr) return false;
        options->ignore_transformations = 0;
        options->convert_hdr_to_8bit = 1;
        const heif_error decoded = h->heif_decode_image(
            handle, &image, heif_colorspace_RGB, alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
            options);
        h->heif_decoding_options_free(options);
        if (decoded.code != heif_error_Ok || image == nullptr) return false;

        width = h->heif_image_get_width(image, heif_channel_interleaved);
        height = h->heif_image_get_height(image, heif_channel_interleaved);
        pixels = h->heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
        if (pixels == nullptr || width <= 0 || height <= 0 ||
            h->heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved) != 8 ||
            int64_t(stride) < int64_t(width) * (alpha ? 4 : 3))
            return false;
        premultiplied = alpha && h->heif_image_is_premultiplied_alpha(image) != 0;
        out->Begin(width, height, 24, Orientation::Normal);
        return true;
    }

    // Up to a batch of rows, R, G, B (, A) to B, G, R on black.
    void HandOn(int rows) {
        for (int r = 0; r < rows; ++r, ++handed) {
            const uint8_t* from = pixels + size_t(handed) * size_t(stride);
            uint8_t* to = out->Row(handed);
            if (!alpha) {
                for (int x = 0; x < width; ++x, from += 3, to += 3) to[0] = from[2], to[1] = from[1], to[2] = from[0];
            } else if (premultiplied) {  // already on black
                for (int x = 0; x < width; ++x, from += 4, to += 3) to[0] = from[2], to[1] = from[1], to[2] = from[0];
            } else {
                for (int x = 0; x < width; ++x, from += 4, to += 3) {
                    const unsigned a = from[3];
                    for (int c = 0; c < 3; ++c) to[c] = uint8_t((from[2 - c] * a + 127) / 255);
                }
            }
        }
        out->RowsDone(handed - rows, rows);
    }
};

}  // namespace

std::optional<Decoded> DecodeHeif(FileInput& in, RowSink& out) {
    HeifContext c;
    c.file = in.Bytes();
    c.out = &out;
    if (!c.Decode()) return std::nullopt;
    while (c.handed < c.height) {
        if (!out.Wanted()) return std::nullopt;
        c.HandOn(std::min(RowSink::kMaxBatch, c.height - c.handed));
    }
    return Decoded{c.width, c.height, Orientation::Normal, std::move(c.colour)};
}

}  // namespace pelumir
