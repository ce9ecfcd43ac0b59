#include "image/ExifOrientation.h"

#include <libexif/exif-data.h>

#include <cstring>
#include <memory>

namespace pelumir {

namespace {

constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

struct ExifDataUnref {
    void operator()(ExifData* d) const { exif_data_unref(d); }
};

}  // namespace

std::span<const uint8_t> FindExifSegment(std::span<const uint8_t> file) {
    const size_t n = file.size();
    if (n < 4 || file[0] != 0xFF || file[1] != 0xD8) return {};
    size_t at = 2;
    while (at + 1 < n) {
        if (file[at] != 0xFF) return {};  // not a marker: the header is damaged
        const uint8_t marker = file[at + 1];
        if (marker == 0xFF) {  // fill byte before a marker
            ++at;
            continue;
        }
        at += 2;
        // The metadata comes before the first scan; past it lies entropy-coded data.
        if (marker == 0xDA || marker == 0xD9) return {};
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length follows
        if (at + 2 > n) return {};
        const size_t length = size_t(file[at]) << 8 | file[at + 1];
        if (length < 2 || length > n - at) return {};
        const std::span<const uint8_t> payload = file.subspan(at + 2, length - 2);
        if (marker == 0xE1 && payload.size() >= sizeof kExifHeader &&
            std::memcmp(payload.data(), kExifHeader, sizeof kExifHeader) == 0)
            return payload;
        at += length;
    }
    return {};
}

Orientation ReadExifOrientation(std::span<const uint8_t> file) {
    const std::span<const uint8_t> segment = FindExifSegment(file);
    if (segment.empty()) return Orientation::Normal;
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
