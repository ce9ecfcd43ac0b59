// The EXIF orientation reader on arbitrary bytes, both as a whole file and
// as the payload of an APP1 segment: it always ends with one of the eight
// orientations, and the segment it finds lies inside the file.
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "image/ExifOrientation.h"

namespace {

void CheckRead(std::span<const uint8_t> file) {
    const std::span<const uint8_t> segment = pelumir::FindExifSegment(file);
    FUZZ_CHECK(segment.empty() || (segment.data() >= file.data() &&
                                   segment.data() + segment.size() <= file.data() + file.size()));
    const uint8_t o = uint8_t(pelumir::ReadExifOrientation(file));
    FUZZ_CHECK(o >= 1 && o <= 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckRead({data, size});
    // The same bytes behind "Exif\0\0" in the one segment of a JPEG's head,
    // so most runs reach the EXIF parser itself.
    const size_t payload = std::min<size_t>(size, 0xFFFF - 2 - 6);
    std::vector<uint8_t> file = {0xFF, 0xD8, 0xFF, 0xE1, uint8_t((payload + 8) >> 8), uint8_t(payload + 8),
                                 'E', 'x', 'i', 'f', 0, 0};
    file.insert(file.end(), data, data + payload);
    file.insert(file.end(), {0xFF, 0xD9});
    CheckRead(file);
    return 0;
}
