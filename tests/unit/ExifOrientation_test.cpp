#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/ExifOrientation.h"
#include "tests/unit/ImageFixtures.h"
#include "tests/unit/PngFixture.h"
#include "tests/unit/TiffFixture.h"
#include "tests/unit/WebpFixture.h"

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

// The TIFF structure of an orientation, as PNG and WebP files hold it.
std::vector<uint8_t> Tiff(uint32_t orientation, bool withHeader = false) {
    std::vector<uint8_t> payload = ExifPayload({{OrientationEntry(orientation)}, true});
    if (!withHeader) payload.erase(payload.begin(), payload.begin() + 6);
    return payload;
}

// A chunk of `type` inserted at `at`: big-endian length first for PNG
// (its CRC left as zeros: the reader does not look at it), little-endian
// after the type and padded to even for WebP.
std::vector<uint8_t> WithChunk(std::vector<uint8_t> file, size_t at, const char* type, const std::vector<uint8_t>& data,
                               bool png) {
    std::vector<uint8_t> chunk;
    const uint32_t n = uint32_t(data.size());
    if (png) chunk = {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
    chunk.insert(chunk.end(), type, type + 4);
    if (!png) chunk.insert(chunk.end(), {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)});
    chunk.insert(chunk.end(), data.begin(), data.end());
    if (png) chunk.insert(chunk.end(), 4, 0);
    if (!png && (n & 1)) chunk.push_back(0);
    file.insert(file.begin() + long(at), chunk.begin(), chunk.end());
    if (!png) {
        const uint32_t riff = uint32_t(file.size() - 8);
        for (int i = 0; i < 4; ++i) file[size_t(4 + i)] = uint8_t(riff >> (8 * i));
    }
    return file;
}

TEST(ExifOrientation, PngAndWebpChunksAndTiffTags) {
    const std::vector<uint8_t> png = testutil::BuildPng({}), webp = testutil::BuildWebp({});
    const size_t afterHeader = 8 + 25;  // the signature and IHDR
    const struct {
        std::string name;
        std::vector<uint8_t> file;
        Orientation want;
    } cases[] = {
        {"PNG eXIf before the image data", WithChunk(png, afterHeader, "eXIf", Tiff(6), true), Orientation::Rotate90},
        {"PNG eXIf after the image data", WithChunk(png, png.size() - 12, "eXIf", Tiff(6), true), Orientation::Normal},
        {"PNG eXIf running past the end", WithChunk(png, afterHeader, "eXIf", Tiff(6), true), Orientation::Normal},
        {"PNG without eXIf", png, Orientation::Normal},
        {"WebP EXIF after the image", WithChunk(webp, webp.size(), "EXIF", Tiff(8), false), Orientation::Rotate270},
        {"WebP EXIF with the JPEG prefix", WithChunk(webp, webp.size(), "EXIF", Tiff(3, true), false),
         Orientation::Rotate180},
        {"WebP without EXIF", webp, Orientation::Normal},
        {"TIFF, little-endian", testutil::BuildTiff({.orientation = 6}), Orientation::Rotate90},
        {"TIFF, big-endian", testutil::BuildTiff({.orientation = 3, .bigEndian = true}), Orientation::Rotate180},
        {"TIFF without the tag", testutil::BuildTiff({}), Orientation::Normal},
        {"WebP ending in an odd chunk without its pad byte", WithChunk(webp, webp.size(), "JUNK", {7}, false),
         Orientation::Normal},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> file = c.file;
        if (c.name.find("past the end") != std::string::npos) file.resize(afterHeader + 20);
        if (c.name.find("pad byte") != std::string::npos) file.pop_back();
        EXPECT_EQ(pelumir::ReadExifOrientation(file), c.want) << c.name;
    }
}

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
