#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/ExifOrientation.h"
#include "tests/unit/ImageFixtures.h"

using pelumir::Orientation;
using testutil::ExifPayload;
using testutil::ExifSpec;
using testutil::OrientationEntry;
using testutil::WithApp1;

namespace {

std::vector<uint8_t> SmallJpeg() { return testutil::NoisyJpeg({8, 8}); }

std::vector<uint8_t> Tagged(const ExifSpec& spec) { return WithApp1(SmallJpeg(), ExifPayload(spec)); }

// A second IFD, little-endian, appended to a payload whose first IFD points at it.
std::vector<uint8_t> WithThumbnailIfd(uint32_t orientation) {
    ExifSpec spec{{{0x0100, 3, 1, 8}}};
    spec.nextIfd = uint32_t(ExifPayload(spec).size() - 6);
    std::vector<uint8_t> payload = ExifPayload(spec);
    const uint8_t ifd[] = {1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, uint8_t(orientation), 0, 0, 0, 0, 0, 0, 0};
    payload.insert(payload.end(), std::begin(ifd), std::end(ifd));
    return WithApp1(SmallJpeg(), payload);
}

}  // namespace

TEST(ExifOrientation, EveryValueInEitherByteOrder) {
    for (bool bigEndian : {false, true}) {
        for (uint32_t v = 1; v <= 8; ++v) {
            EXPECT_EQ(pelumir::ReadExifOrientation(testutil::OrientedJpeg(SmallJpeg(), v, bigEndian)), Orientation(v))
                << v << (bigEndian ? " MM" : " II");
        }
    }
}

// The first IFD of the first EXIF segment before the scan names the
// orientation; whatever else a file holds shows the picture as stored.
TEST(ExifOrientation, OnlyThePlainlyNamedValueCounts) {
    const std::vector<uint8_t> jpeg = SmallJpeg();
    const std::vector<uint8_t> xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0};
    std::vector<uint8_t> cut = Tagged({{OrientationEntry(6)}});
    cut.resize(2 + 4 + 6 + 8 + 2 + 9);  // ends inside the orientation entry
    std::vector<uint8_t> overlong = Tagged({{OrientationEntry(6)}});
    overlong[4] = 0xFF;  // the segment claims more than the file holds
    std::vector<uint8_t> afterScan = jpeg;
    afterScan.insert(afterScan.end() - 2, {0xFF, 0xE1, 0, 0});  // inside the entropy-coded data
    std::vector<uint8_t> filled = WithApp1(testutil::OrientedJpeg(jpeg, 3), xmp);
    filled.insert(filled.begin() + 2, {0xFF, 0xFF});  // fill bytes before a marker
    ExifSpec badMark{{OrientationEntry(6)}};
    badMark.order = "IM";
    ExifSpec loopsToItself{{{0x8769, 4, 1, 8}}};  // the EXIF IFD pointer names this IFD
    loopsToItself.nextIfd = 8;
    ExifSpec loopsAfterTheValue{{OrientationEntry(6), {0x8769, 4, 1, 8}}};
    loopsAfterTheValue.nextIfd = 8;
    const struct {
        std::string name;
        std::vector<uint8_t> file;
        Orientation want = Orientation::Normal;
    } cases[] = {
        {"empty", {}},
        {"not a JPEG", testutil::NoisyBmp(24, 4, 4)},
        {"no EXIF", jpeg},
        {"value 0", Tagged({{OrientationEntry(0)}})},
        {"value 9", Tagged({{OrientationEntry(9)}})},
        {"value 65535", Tagged({{OrientationEntry(65535)}, true})},
        {"unknown byte-order mark", Tagged(badMark)},
        {"cut inside the entry", cut},
        {"segment past the end", overlong},
        {"APP1 after the first scan", afterScan},
        {"APP1 that is not EXIF", WithApp1(jpeg, xmp)},
        {"LONG instead of SHORT", Tagged({{{0x0112, 4, 1, 6}}})},
        {"no components", Tagged({{{0x0112, 3, 0, 6}}})},
        {"IFDs that loop", Tagged(loopsToItself)},
        {"only the thumbnail's IFD", WithThumbnailIfd(6)},
        // A loop ends the reading; the first IFD's own value holds.
        {"IFDs that loop after the value", Tagged(loopsAfterTheValue), Orientation::Rotate90},
        {"past fill bytes and another APP1", filled, Orientation::Rotate180},
        // An editor that puts its own segment first is read, not the camera's behind it.
        {"two EXIF segments", testutil::OrientedJpeg(filled, 8), Orientation::Rotate270},
    };
    for (const auto& c : cases) EXPECT_EQ(pelumir::ReadExifOrientation(c.file), c.want) << c.name;
}
