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

// Whatever a file holds, the answer is a valid orientation and the stored
// pixels unless the first IFD plainly names one.
TEST(ExifOrientation, OddOrHostileDataShowsAsStored) {
    const std::vector<uint8_t> jpeg = SmallJpeg();
    std::vector<uint8_t> cut = Tagged({{OrientationEntry(6)}});
    cut.resize(2 + 4 + 6 + 8 + 2 + 9);  // ends inside the orientation entry
    std::vector<uint8_t> overlong = Tagged({{OrientationEntry(6)}});
    overlong[4] = 0xFF;  // the segment claims more than the file holds
    std::vector<uint8_t> afterScan = jpeg;
    afterScan.insert(afterScan.end() - 2, {0xFF, 0xE1, 0, 0});  // inside the entropy-coded data
    std::vector<uint8_t> xmpOnly = WithApp1(jpeg, {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0});
    ExifSpec wrongType{{{0x0112, 4, 1, 6}}};
    ExifSpec noCount{{{0x0112, 3, 0, 6}}};
    ExifSpec badMark{{OrientationEntry(6)}};
    badMark.order = "IM";
    ExifSpec loopsToItself{{{0x8769, 4, 1, 8}}};  // the EXIF IFD pointer names this IFD
    loopsToItself.nextIfd = 8;
    const struct {
        std::string name;
        std::vector<uint8_t> file;
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
        {"APP1 that is not EXIF", xmpOnly},
        {"LONG instead of SHORT", Tagged(wrongType)},
        {"no components", Tagged(noCount)},
        {"IFDs that loop", Tagged(loopsToItself)},
        {"only the thumbnail's IFD", WithThumbnailIfd(6)},
    };
    for (const auto& c : cases) EXPECT_EQ(pelumir::ReadExifOrientation(c.file), Orientation::Normal) << c.name;
}

TEST(ExifOrientation, FirstExifSegmentPastOtherSegments) {
    const std::vector<uint8_t> xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0};
    std::vector<uint8_t> file = WithApp1(testutil::OrientedJpeg(SmallJpeg(), 3), xmp);
    file.insert(file.begin() + 2, {0xFF, 0xFF});  // fill bytes before a marker
    EXPECT_EQ(pelumir::ReadExifOrientation(file), Orientation::Rotate180);
    // An editor that prepends its own segment is read, not the camera's copy behind it.
    EXPECT_EQ(pelumir::ReadExifOrientation(testutil::OrientedJpeg(file, 8)), Orientation::Rotate270);
}

// A loop in the IFD chain ends the reading; the first IFD's own value holds.
TEST(ExifOrientation, LoopingIfdsEndAndKeepTheFirstIfdsValue) {
    ExifSpec loops{{OrientationEntry(6), {0x8769, 4, 1, 8}}};
    loops.nextIfd = 8;
    EXPECT_EQ(pelumir::ReadExifOrientation(Tagged(loops)), Orientation::Rotate90);
}
