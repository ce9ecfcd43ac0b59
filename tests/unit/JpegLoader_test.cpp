#include "image/JpegLoader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include <jpeglib.h>
#include <sys/stat.h>

#include "tests/unit/ImageFixtures.h"
#include "tests/unit/PeakMemory.h"
#include "tests/unit/TempDir.h"
#include "tests/unit/TestFiles.h"
#include "image/ImageFile.h"

namespace pelumir {
namespace {

// ---- fixtures, written by libjpeg's compressor ----

using JpegFixture = testutil::JpegRecipe;
using testutil::EncodeJpeg;

struct Rgb {
    int r, g, b;
};
const Rgb kQuadrants[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

// Flat red, green, blue and white quadrants; CMYK as inks, inverted the
// Adobe way when the file carries Adobe's marker.
std::vector<uint8_t> QuadrantJpeg(JpegFixture fixture = {}) {
    std::vector<uint8_t> pixels;
    for (int y = 0; y < fixture.height; ++y)
        for (int x = 0; x < fixture.width; ++x) {
            const Rgb q = kQuadrants[x * 2 / fixture.width + 2 * (y * 2 / fixture.height)];
            if (fixture.input == JCS_RGB) {
                pixels.insert(pixels.end(), {uint8_t(q.r), uint8_t(q.g), uint8_t(q.b)});
                continue;
            }
            for (int ink : {255 - q.r, 255 - q.g, 255 - q.b, 0}) pixels.push_back(uint8_t(fixture.adobeMarker ? 255 - ink : ink));
        }
    return EncodeJpeg(fixture, pixels);
}

void ExpectColour(const Bitmap& b, int x, int y, Rgb want, int tolerance = 6) {
    const uint8_t* p = b.Row(y) + 3 * x;  // B, G, R
    EXPECT_NEAR(p[2], want.r, tolerance) << x << "," << y;
    EXPECT_NEAR(p[1], want.g, tolerance) << x << "," << y;
    EXPECT_NEAR(p[0], want.b, tolerance) << x << "," << y;
}

void ExpectQuadrants(const Bitmap& b) {
    ASSERT_EQ(b.Format(), PixelFormat::Bit24);
    const int w = b.Width(), h = b.Height();
    for (int q = 0; q < 4; ++q) ExpectColour(b, (q % 2 * 2 + 1) * w / 4, (q / 2 * 2 + 1) * h / 4, kQuadrants[q]);
}

size_t LastMarker(const std::vector<uint8_t>& jpeg, uint8_t a, uint8_t b = 0) {
    size_t found = 0;
    for (size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == a || (b != 0 && jpeg[i + 1] == b))) found = i;
    return found;
}

std::vector<uint8_t> WithSize(std::vector<uint8_t> jpeg, int w, int h) {
    const size_t at = LastMarker(jpeg, 0xC0, 0xC2) + 5;  // the frame header's height, then width
    jpeg[at] = uint8_t(h >> 8);
    jpeg[at + 1] = uint8_t(h);
    jpeg[at + 2] = uint8_t(w >> 8);
    jpeg[at + 3] = uint8_t(w);
    return jpeg;
}

bool Decode(std::span<const uint8_t> bytes, Bitmap& out) { return DecodeWhole(DecodeJpeg, bytes, out); }

// ---- tests ----

TEST(JpegLoader, BaselineAndProgressiveGivePaddedBgrRows) {
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        JpegFixture fixture;
        fixture.width = 66;  // 198 bytes of pixels in a 200-byte row
        fixture.progressive = progressive;
        const std::vector<uint8_t> jpeg = QuadrantJpeg(fixture);
        Bitmap out;
        ASSERT_TRUE(Decode(jpeg, out));
        const uint8_t* storage = out.Bits();
        ASSERT_TRUE(Decode(jpeg, out));
        EXPECT_EQ(out.Bits(), storage);  // the next image of this size reuses the pixels
        EXPECT_EQ(out.Width(), 66);
        EXPECT_EQ(out.Height(), 64);
        EXPECT_TRUE(out.Palette().empty());
        ExpectQuadrants(out);
        for (int y = 0; y < out.Height(); ++y) EXPECT_EQ(out.Row(y)[198] | out.Row(y)[199], 0);
    }
}

TEST(JpegLoader, GreyscaleBecomesAtMost236PaletteGreys) {
    JpegFixture fixture;
    fixture.width = 256;
    fixture.input = fixture.stored = JCS_GRAYSCALE;
    std::vector<uint8_t> ramp;
    for (int i = 0; i < 256 * 64; ++i) ramp.push_back(uint8_t(i % 256));
    Bitmap out;
    ASSERT_TRUE(Decode(EncodeJpeg(fixture, ramp), out));
    ASSERT_EQ(out.Format(), PixelFormat::Bit8);
    ASSERT_GE(out.Palette().size(), 200u);
    ASSERT_LE(out.Palette().size(), 236u);
    for (uint32_t entry : out.Palette()) EXPECT_EQ(entry, (entry & 0xFF) * 0x010101u);
    for (int x : {0, 128, 255}) {
        ASSERT_LT(out.Row(8)[x], out.Palette().size());
        EXPECT_NEAR(int(out.Palette()[out.Row(8)[x]] & 0xFF), x, 8);
    }
}

TEST(JpegLoader, FourComponentFilesComeOutAsRgb) {
    for (J_COLOR_SPACE stored : {JCS_CMYK, JCS_YCCK}) {
        for (bool adobe : {true, false}) {
            if (stored == JCS_YCCK && !adobe) continue;  // YCCK exists only with Adobe's marker
            SCOPED_TRACE(std::string(stored == JCS_CMYK ? "CMYK" : "YCCK") + (adobe ? ", Adobe" : ", plain"));
            JpegFixture fixture;
            fixture.input = JCS_CMYK;
            fixture.stored = stored;
            fixture.adobeMarker = adobe;
            Bitmap out;
            ASSERT_TRUE(Decode(QuadrantJpeg(fixture), out));
            ExpectQuadrants(out);
        }
    }
}

TEST(JpegLoader, TruncatedFileStillDecodesAtFullSize) {
    JpegFixture fixture;
    fixture.width = fixture.height = 256;
    std::vector<uint8_t> noisy;  // every scan gets data to cut into
    uint32_t state = 1;
    for (int i = 0; i < 256 * 256 * 3; ++i) noisy.push_back(uint8_t((state = state * 1664525u + 1013904223u) >> 24));
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        fixture.progressive = progressive;
        std::vector<uint8_t> jpeg = EncodeJpeg(fixture, noisy);
        // Halfway into the last scan's data; a cut inside a table would be an error.
        const size_t scan = LastMarker(jpeg, 0xDA);
        jpeg.resize(scan + (jpeg.size() - scan) / 2);
        Bitmap out;
        EXPECT_TRUE(Decode(jpeg, out));
        EXPECT_EQ(out.Width(), 256);
        EXPECT_EQ(out.Height(), 256);
    }
}

// In pieces, a JPEG is decoded as the file is read on: only its first
// bytes are ever held, and the picture is the one a whole read gives.
TEST(JpegLoader, InPiecesTheFileIsReadOnNotHeldWhole) {
    testutil::TempDir dir;
    const std::string path = dir / "tall.jpg";
    const auto jpeg = testutil::NoisyJpeg({.width = 200, .height = 2000});
    testutil::Spit(path, std::string(jpeg.begin(), jpeg.end()));
    FileBytes bytes;
    Bitmap whole;
    ASSERT_TRUE(LoadImageFile(path, bytes, whole));
    ASSERT_GT(jpeg.size(), 300000u);
    for (size_t piece : {size_t(700), size_t(65536)}) {
        Bitmap picture;
        PictureSink sink(picture);
        EXPECT_EQ(LoadImage(path, bytes, sink, {}, piece).state, LoadResult::State::Loaded);
        EXPECT_LE(bytes.size(), 2 * piece);
        testutil::ExpectSameBitmap(picture, whole);
    }
}

TEST(JpegLoader, FailuresLeaveTheBitmapEmpty) {
    const std::vector<uint8_t> good = QuadrantJpeg();
    std::vector<uint8_t> twelveBit = good, noQuantTables = good;
    twelveBit[LastMarker(good, 0xC0) + 4] = 12;
    for (size_t i = 2; i + 1 < noQuantTables.size(); ++i)
        if (noQuantTables[i] == 0xFF && noQuantTables[i + 1] == 0xDB) noQuantTables[i + 1] = 0xEF;  // DQT -> APP15
    const std::vector<uint8_t> broken[] = {
        {},
        {0xFF, 0xD8},
        {0xFF, 0xD8, 0x12, 0x34, 0x56},
        {'B', 'M', 0x3A, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0, 40, 0, 0, 0},
        WithSize(good, 0, 64),
        WithSize(good, 64, 0),
        twelveBit,
        noQuantTables,
    };
    const testutil::TempDir dir;
    const std::string goodFile = dir / "good.jpg";
    std::ofstream(goodFile, std::ios::binary).write(reinterpret_cast<const char*>(good.data()), std::streamsize(good.size()));

    Bitmap out;
    FileBytes fileBytes;
    for (const auto& bytes : broken) {
        ASSERT_TRUE(LoadImageFile(goodFile, fileBytes, out));
        EXPECT_FALSE(Decode(bytes, out)) << &bytes - broken;
        EXPECT_TRUE(out.Empty());
    }
    const std::string fifo = dir / "fifo.jpg";  // opening it must not wait for a writer
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, dir / "missing.jpg", dir.path()}) {
        ASSERT_TRUE(LoadImageFile(goodFile, fileBytes, out));
        EXPECT_FALSE(LoadImageFile(path, fileBytes, out)) << path;
        EXPECT_TRUE(out.Empty());
    }
}

TEST(JpegLoader, AbsurdSizesFailBeforeTouchingMemory) {
    if (!testutil::ResetPeak()) GTEST_SKIP() << "the peak memory cannot be reset here";
    const long before = testutil::StatusKiB("VmRSS:");
    // 65535 is past the library's own limit; 65500 passes it, and its 12 GB
    // of pixels must be refused before anything is decoded.
    for (int side : {65535, 65500}) {
        for (bool progressive : {false, true}) {
            JpegFixture fixture;
            fixture.progressive = progressive;
            Bitmap out;
            EXPECT_FALSE(Decode(WithSize(QuadrantJpeg(fixture), side, side), out)) << side;
            EXPECT_TRUE(out.Empty());
        }
    }
    EXPECT_LT(testutil::PeakRiseMiB(before), 64);
}

// ---- hostile files ----

std::vector<uint8_t> NoiseJpeg(int w, int h, bool progressive) {
    return testutil::NoisyJpeg({.width = w, .height = h, .progressive = progressive});
}

struct Segment {
    size_t begin, end;  // a marker with its length and contents
};

// The marker segments of a file, scan headers included; what lies between
// them is entropy-coded data.
std::vector<Segment> Segments(const std::vector<uint8_t>& jpeg) {
    std::vector<Segment> segments;
    size_t at = 2;
    while (at + 3 < jpeg.size()) {
        if (jpeg[at] != 0xFF || jpeg[at + 1] == 0x00 || (jpeg[at + 1] >= 0xD0 && jpeg[at + 1] <= 0xD7)) {
            ++at;  // data, a stuffed 0xFF or a restart marker
            continue;
        }
        if (jpeg[at + 1] == 0xD9) break;
        const size_t end = at + 2 + (size_t(jpeg[at + 2]) << 8 | jpeg[at + 3]);
        segments.push_back({at, end});
        at = end;
    }
    return segments;
}

TEST(JpegLoader, CutAnywhereInTheDataStillDecodesWhole) {
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        const std::vector<uint8_t> jpeg = NoiseJpeg(24, 20, progressive);
        const std::vector<Segment> segments = Segments(jpeg);
        size_t firstScan = 0;
        for (const Segment& s : segments)
            if (jpeg[s.begin + 1] == 0xDA) {
                firstScan = s.begin;
                break;
            }
        ASSERT_GT(firstScan, 0u);
        Bitmap out;
        for (size_t cut = 0; cut < jpeg.size(); ++cut) {
            SCOPED_TRACE(cut);
            const bool ok = Decode({jpeg.data(), cut}, out);
            // A cut inside a table or a header is an error; one in the
            // entropy-coded data is a truncation, padded to the full size.
            const bool inSegment = std::any_of(segments.begin(), segments.end(),
                                               [cut](const Segment& s) { return s.begin < cut && cut < s.end; });
            if (cut <= firstScan) {
                EXPECT_FALSE(ok);
            } else if (!inSegment) {
                EXPECT_TRUE(ok);
            }
            if (ok) {
                EXPECT_EQ(out.Width(), 24);
                EXPECT_EQ(out.Height(), 20);
            } else {
                EXPECT_TRUE(out.Empty());
            }
        }
    }
}

TEST(JpegLoader, CorruptBytesGiveAWholeImageOrAFailure) {
    uint32_t state = 99;
    auto next = [&state] { return testutil::NextNoise(state); };
    for (bool progressive : {false, true}) {
        const std::vector<uint8_t> good = NoiseJpeg(40, 24, progressive);
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> bad = good;
            // A few bytes anywhere past the start marker: tables, headers
            // and entropy data alike; sometimes a marker byte.
            const int changes = 1 + int(next() % 4);
            for (int i = 0; i < changes; ++i) {
                const size_t at = 2 + next() % (bad.size() - 2);
                bad[at] = next() % 3 == 0 ? 0xFF : uint8_t(next());
            }
            SCOPED_TRACE(testing::Message() << (progressive ? "progressive " : "baseline ") << round);
            Bitmap out;
            out.Allocate(16, 16, 24);  // an image from before, to be replaced or emptied
            if (Decode(bad, out)) {
                // The frame header may have been hit: any size it now gives.
                EXPECT_FALSE(out.Empty());
                EXPECT_EQ(out.ByteSize(), out.Stride() * size_t(out.Height()));
            } else {
                EXPECT_TRUE(out.Empty());
            }
        }
    }
}

// A progressive file whose last scan comes again and again: each repeat
// costs a pass over the whole image, so without a limit a small file keeps
// the viewer busy for as long as it likes.
std::vector<uint8_t> WithLastScanRepeated(const std::vector<uint8_t>& jpeg, int times) {
    const size_t last = LastMarker(jpeg, 0xDA);
    const std::vector<uint8_t> scan(jpeg.begin() + std::ptrdiff_t(last), jpeg.end() - 2);
    std::vector<uint8_t> out(jpeg.begin(), jpeg.end() - 2);
    for (int i = 0; i < times; ++i) out.insert(out.end(), scan.begin(), scan.end());
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

TEST(JpegLoader, EndlesslyRepeatedScansFail) {
    JpegFixture fixture;
    fixture.progressive = true;
    const std::vector<uint8_t> jpeg = QuadrantJpeg(fixture);
    Bitmap out;
    // A few repeats are a damaged file, still shown.
    ASSERT_TRUE(Decode(WithLastScanRepeated(jpeg, 20), out));
    ExpectQuadrants(out);
    EXPECT_FALSE(Decode(WithLastScanRepeated(jpeg, 1000), out));
    EXPECT_TRUE(out.Empty());
}

}  // namespace
}  // namespace pelumir
