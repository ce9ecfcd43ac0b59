#include "image/ExifOrientation.h"

#include <libexif/exif-data.h>

#include <cstring>
#include <memory>
#include <vector>

namespace pelumir {

namespace {

constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; }

// A PNG's eXIf chunk before its image data: the rows come after it.
std::span<const uint8_t> FindPngExif(std::span<const uint8_t> file) {
    static constexpr uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (file.size() < sizeof kSignature || std::memcmp(file.data(), kSignature, sizeof kSignature) != 0) return {};
    size_t at = sizeof kSignature;
    while (file.size() - at >= 12) {
        const size_t length = Be32(file.data() + at);
        if (length > file.size() - at - 12) return {};
        const uint8_t* type = file.data() + at + 4;
        if (std::memcmp(type, "eXIf", 4) == 0) return file.subspan(at + 8, length);
        if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) return {};
        at += 12 + length;
    }
    return {};
}

// A WebP's EXIF chunk, wherever it lies among the chunks.
std::span<const uint8_t> FindWebpExif(std::span<const uint8_t> file) {
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WEBP", 4) != 0)
        return {};
    size_t at = 12;
    // The pad byte of an odd chunk may be missing at the very end.
    while (at <= file.size() && file.size() - at >= 8) {
        const size_t length = Le32(file.data() + at + 4);
        if (length > file.size() - at - 8) return {};
        if (std::memcmp(file.data() + at, "EXIF", 4) == 0) return file.subspan(at + 8, length);
        at += 8 + length + (length & 1);
    }
    return {};
}

// A TIFF file's own Orientation tag, in its first IFD (classic or BigTIFF):
// read here rather than by libexif, which would want the whole file copied
// behind an "Exif" header. 0 when there is none or the IFD runs out.
unsigned TiffOrientationTag(std::span<const uint8_t> file) {
    if (file.size() < 8) return 0;
    const bool little = file[0] == 'I' && file[1] == 'I';
    if (!little && !(file[0] == 'M' && file[1] == 'M')) return 0;
    const auto get = [&](uint64_t at, int bytes) -> uint64_t {
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= uint64_t(file[size_t(at) + size_t(i)]) << (8 * (little ? i : bytes - 1 - i));
        return v;
    };
    const uint64_t magic = get(2, 2);
    if (magic != 42 && magic != 43) return 0;
    const bool big = magic == 43;
    if (big && file.size() < 16) return 0;
    const uint64_t ifd = big ? get(8, 8) : get(4, 4);
    const int countBytes = big ? 8 : 2, entryBytes = big ? 20 : 12;
    if (ifd >= file.size() || file.size() - ifd < uint64_t(countBytes)) return 0;
    const uint64_t count = get(ifd, countBytes);
    const uint64_t first = ifd + uint64_t(countBytes);
    for (uint64_t i = 0; i < count && (file.size() - first) / uint64_t(entryBytes) > i; ++i) {
        const uint64_t at = first + i * uint64_t(entryBytes);
        // One SHORT, held in the entry itself.
        if (get(at, 2) == 0x0112 && get(at + 2, 2) == 3 && get(at + 4, big ? 8 : 4) >= 1)
            return unsigned(get(at + (big ? 12 : 8), 2));
    }
    return 0;
}

struct ExifDataUnref {
    void operator()(ExifData* d) const { exif_data_unref(d); }
};

}  // namespace

namespace {

// Walks a JPEG's segments before its first scan for the EXIF one. Short:
// `file` ends before the walk could tell, and more of the file might.
enum class Walk { Found, Absent, Short };

Walk WalkJpegHeader(std::span<const uint8_t> file, std::span<const uint8_t>& exif) {
    const size_t n = file.size();
    if (n >= 2 && (file[0] != 0xFF || file[1] != 0xD8)) return Walk::Absent;
    if (n < 4) return Walk::Short;
    size_t at = 2;
    while (at + 1 < n) {
        if (file[at] != 0xFF) return Walk::Absent;  // not a marker: the header is damaged
        const uint8_t marker = file[at + 1];
        if (marker == 0xFF) {  // fill byte before a marker
            ++at;
            continue;
        }
        at += 2;
        // The metadata comes before the first scan; past it lies entropy-coded data.
        if (marker == 0xDA || marker == 0xD9) return Walk::Absent;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length follows
        if (at + 2 > n) return Walk::Short;
        const size_t length = size_t(file[at]) << 8 | file[at + 1];
        if (length < 2) return Walk::Absent;
        if (length > n - at) return Walk::Short;
        const std::span<const uint8_t> payload = file.subspan(at + 2, length - 2);
        if (marker == 0xE1 && payload.size() >= sizeof kExifHeader &&
            std::memcmp(payload.data(), kExifHeader, sizeof kExifHeader) == 0) {
            exif = payload;
            return Walk::Found;
        }
        at += length;
    }
    return Walk::Short;
}

}  // namespace

std::span<const uint8_t> FindExifSegment(std::span<const uint8_t> file) {
    std::span<const uint8_t> exif;
    return WalkJpegHeader(file, exif) == Walk::Found ? exif : std::span<const uint8_t>{};
}

bool JpegHeaderIn(std::span<const uint8_t> prefix) {
    std::span<const uint8_t> exif;
    return prefix.size() >= 2 && prefix[0] == 0xFF && prefix[1] == 0xD8 && WalkJpegHeader(prefix, exif) != Walk::Short;
}

Orientation ReadExifOrientation(std::span<const uint8_t> file) {
    std::span<const uint8_t> segment = FindExifSegment(file);
    std::vector<uint8_t> prefixed;
    if (segment.empty()) {
        if (const unsigned tag = TiffOrientationTag(file); tag != 0) return OrientationFromExif(tag);
        std::span<const uint8_t> tiff = FindPngExif(file);
        if (tiff.empty()) tiff = FindWebpExif(file);
        if (tiff.empty()) return Orientation::Normal;
        // These hold the TIFF structure alone, which libexif reads only
        // behind the "Exif\0\0" a JPEG segment starts with (some WebP
        // writers put it in as well).
        if (tiff.size() >= sizeof kExifHeader && std::memcmp(tiff.data(), kExifHeader, sizeof kExifHeader) == 0) {
            segment = tiff;
        } else {
            prefixed.assign(std::begin(kExifHeader), std::end(kExifHeader));
            prefixed.insert(prefixed.end(), tiff.begin(), tiff.end());
            segment = prefixed;
        }
    }
    std::unique_ptr<ExifData, ExifDataUnref> data(exif_data_new());
    if (data == nullptr) return Orientation::Normal;
    // Read only: no tags added or corrected, no maker notes rewritten.
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_option(data.get(), EXIF_DATA_OPTION_DONT_CHANGE_MAKER_NOTE);
    exif_data_load_data(data.get(), segment.data(), unsigned(segment.size()));
    ExifContent* ifd0 = data->ifd[EXIF_IFD_0];
    ExifEntry* entry = ifd0 != nullptr ? exif_content_get_entry(ifd0, EXIF_TAG_ORIENTATION) : nullptr;
    if (entry == nullptr || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || entry->data == nullptr ||
        entry->size < 2)
        return Orientation::Normal;
    return OrientationFromExif(exif_get_short(entry->data, exif_data_get_byte_order(data.get())));
}

}  // namespace pelumir
