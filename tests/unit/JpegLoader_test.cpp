#include "viewer/JpegLoader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace pelumir {
namespace {

// ---- fixtures: JPEG files written by libjpeg's own compressor ----

struct JpegSpec {
    int width = 64, height = 64;
    J_COLOR_SPACE input = JCS_RGB;  // what `pixels` holds: RGB, GRAYSCALE or CMYK
    J_COLOR_SPACE stored = JCS_YCbCr;
    bool progressive = false;
    bool adobeMarker = true;  // only consulted for CMYK and YCCK
    int quality = 98;
};

int Components(J_COLOR_SPACE cs) { return cs == JCS_GRAYSCALE ? 1 : cs == JCS_CMYK ? 4 : 3; }

std::vector<uint8_t> Encode(const JpegSpec& spec, const std::vector<uint8_t>& pixels) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&c, &out, &outSize);
    c.image_width = JDIMENSION(spec.width);
    c.image_height = JDIMENSION(spec.height);
    c.input_components = Components(spec.input);
    c.in_color_space = spec.input;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, spec.stored);
    c.write_Adobe_marker = spec.adobeMarker && (spec.stored == JCS_CMYK || spec.stored == JCS_YCCK);
    for (int i = 0; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    jpeg_set_quality(&c, spec.quality, TRUE);
    if (spec.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    const size_t rowBytes = size_t(spec.width) * size_t(c.input_components);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPLE*>(pixels.data() + c.next_scanline * rowBytes);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> bytes(out, out + outSize);
    std::free(out);
    return bytes;
}

struct Rgb {
    uint8_t r, g, b;
};
// Four flat quadrants, so colours survive compression nearly unchanged.
const Rgb kQuadrants[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

int Quadrant(int x, int y, int w, int h) { return (x * 2 / w) + 2 * (y * 2 / h); }

std::vector<uint8_t> QuadrantPixels(int w, int h, J_COLOR_SPACE input, bool adobeInverted) {
    std::vector<uint8_t> pixels;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Rgb q = kQuadrants[Quadrant(x, y, w, h)];
            if (input == JCS_RGB) {
                pixels.insert(pixels.end(), {q.r, q.g, q.b});
            } else {
                // Ink amounts: cyan absorbs red, and so on; no black ink.
                uint8_t cmyk[4] = {uint8_t(255 - q.r), uint8_t(255 - q.g), uint8_t(255 - q.b), 0};
                for (uint8_t& v : cmyk) pixels.push_back(adobeInverted ? uint8_t(255 - v) : v);
            }
        }
    }
    return pixels;
}

std::vector<uint8_t> QuadrantJpeg(JpegSpec spec) {
    const bool inverted = spec.adobeMarker;
    return Encode(spec, QuadrantPixels(spec.width, spec.height, spec.input, inverted));
}

std::vector<uint8_t> GreyRampJpeg(int w, int h) {
    std::vector<uint8_t> pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pixels.push_back(uint8_t(x * 255 / (w - 1)));
    JpegSpec spec;
    spec.width = w;
    spec.height = h;
    spec.input = JCS_GRAYSCALE;
    spec.stored = JCS_GRAYSCALE;
    return Encode(spec, pixels);
}

size_t MarkerOffset(const std::vector<uint8_t>& jpeg, uint8_t marker, uint8_t alternative = 0) {
    for (size_t i = 2; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == marker || (alternative != 0 && jpeg[i + 1] == alternative))) return i;
    ADD_FAILURE() << "no marker " << int(marker);
    return 0;
}

// Byte offset of the frame header's height field.
size_t SofSizeOffset(const std::vector<uint8_t>& jpeg) { return MarkerOffset(jpeg, 0xC0, 0xC2) + 5; }

std::vector<uint8_t> WithSize(std::vector<uint8_t> jpeg, int w, int h) {
    const size_t at = SofSizeOffset(jpeg);
    jpeg[at] = uint8_t(h >> 8);
    jpeg[at + 1] = uint8_t(h);
    jpeg[at + 2] = uint8_t(w >> 8);
    jpeg[at + 3] = uint8_t(w);
    return jpeg;
}

bool Decode(const std::vector<uint8_t>& bytes, Bitmap& out) { return DecodeJpeg(bytes.data(), bytes.size(), out); }

Rgb PixelAt(const Bitmap& b, int x, int y) {
    const uint8_t* p = b.Row(y) + 3 * x;
    return {p[2], p[1], p[0]};  // rows hold B, G, R
}

void ExpectNear(Rgb got, Rgb want, int tolerance = 6) {
    EXPECT_NEAR(got.r, want.r, tolerance);
    EXPECT_NEAR(got.g, want.g, tolerance);
    EXPECT_NEAR(got.b, want.b, tolerance);
}

void ExpectQuadrantColours(const Bitmap& b) {
    ASSERT_EQ(b.BitsPerPixel(), 24);
    const int w = b.Width(), h = b.Height();
    ExpectNear(PixelAt(b, w / 4, h / 4), kQuadrants[0]);
    ExpectNear(PixelAt(b, 3 * w / 4, h / 4), kQuadrants[1]);
    ExpectNear(PixelAt(b, w / 4, 3 * h / 4), kQuadrants[2]);
    ExpectNear(PixelAt(b, 3 * w / 4, 3 * h / 4), kQuadrants[3]);
}

// A bitmap that already holds an image, to see that failures empty it.
Bitmap Occupied() {
    Bitmap b;
    b.Allocate(16, 16, 24);
    return b;
}

// ---- decoding ----

TEST(JpegLoader, BaselineAndProgressiveGiveBgrRows) {
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        JpegSpec spec;
        spec.width = 66;  // 198 bytes of pixels in a 200-byte row
        spec.height = 40;
        spec.progressive = progressive;
        Bitmap out;
        ASSERT_TRUE(Decode(QuadrantJpeg(spec), out));
        EXPECT_EQ(out.Width(), 66);
        EXPECT_EQ(out.Height(), 40);
        EXPECT_EQ(out.Format(), PixelFormat::Bit24);
        EXPECT_TRUE(out.Palette().empty());
        ExpectQuadrantColours(out);
        for (int y = 0; y < out.Height(); ++y) {
            EXPECT_EQ(out.Row(y)[198], 0);
            EXPECT_EQ(out.Row(y)[199], 0);
        }
    }
}

TEST(JpegLoader, GreyscaleBecomesAnIndexedBitmapOfAtMost236Greys) {
    Bitmap out;
    ASSERT_TRUE(Decode(GreyRampJpeg(256, 8), out));
    EXPECT_EQ(out.Format(), PixelFormat::Bit8);
    const auto& palette = out.Palette();
    ASSERT_GE(palette.size(), 200u);
    ASSERT_LE(palette.size(), 236u);
    for (uint32_t entry : palette) {
        EXPECT_EQ(entry >> 24, 0u);
        EXPECT_EQ(entry & 0xFF, (entry >> 8) & 0xFF);
        EXPECT_EQ(entry & 0xFF, (entry >> 16) & 0xFF);
    }
    auto grey = [&](int x) {
        const uint8_t index = out.Row(4)[x];
        EXPECT_LT(index, palette.size());
        return int(palette[index] & 0xFF);
    };
    EXPECT_NEAR(grey(0), 0, 8);
    EXPECT_NEAR(grey(128), 128, 8);
    EXPECT_NEAR(grey(255), 255, 8);
}

TEST(JpegLoader, FourComponentFilesComeOutAsRgb) {
    struct Case {
        const char* name;
        J_COLOR_SPACE stored;
        bool adobe;
    };
    // Adobe's files store CMYK inverted; a file without its marker stores inks.
    for (const Case& c : {Case{"cmyk-adobe", JCS_CMYK, true}, Case{"ycck-adobe", JCS_YCCK, true},
                          Case{"cmyk-plain", JCS_CMYK, false}}) {
        SCOPED_TRACE(c.name);
        JpegSpec spec;
        spec.input = JCS_CMYK;
        spec.stored = c.stored;
        spec.adobeMarker = c.adobe;
        Bitmap out;
        ASSERT_TRUE(Decode(QuadrantJpeg(spec), out));
        EXPECT_EQ(out.Format(), PixelFormat::Bit24);
        ExpectQuadrantColours(out);
    }
}

TEST(JpegLoader, TruncatedFileStillDecodesAtFullSize) {
    // Noise gives every scan real data to cut into.
    JpegSpec spec;
    spec.width = 256;
    spec.height = 256;
    std::vector<uint8_t> pixels = QuadrantPixels(spec.width, spec.height, JCS_RGB, false);
    uint32_t state = 1;
    for (uint8_t& v : pixels) {
        state = state * 1664525u + 1013904223u;
        v = uint8_t(std::clamp(int(v) + int(state >> 27) - 16, 0, 255));
    }
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        spec.progressive = progressive;
        std::vector<uint8_t> jpeg = Encode(spec, pixels);
        // Cut halfway through the last scan's data (a cut inside a table
        // would be an error, not a truncation).
        size_t scan = 0;
        for (size_t i = 2; i + 1 < jpeg.size(); ++i)
            if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) scan = i;
        jpeg.resize(scan + (jpeg.size() - scan) / 2);
        Bitmap out;
        EXPECT_TRUE(Decode(jpeg, out));
        EXPECT_EQ(out.Width(), 256);
        EXPECT_EQ(out.Height(), 256);
        if (!progressive) ExpectNear(PixelAt(out, 64, 16), kQuadrants[0], 40);  // decoded before the cut
    }
}

TEST(JpegLoader, BrokenDataFailsAndLeavesTheBitmapEmpty) {
    const std::vector<uint8_t> good = QuadrantJpeg({});
    std::vector<uint8_t> markerOnly = {0xFF, 0xD8};
    std::vector<uint8_t> garbageAfterSoi = {0xFF, 0xD8, 0x12, 0x34, 0x56, 0x78, 0x9A};
    std::vector<uint8_t> bmp = {'B', 'M', 0x3A, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0, 40, 0, 0, 0};
    std::vector<uint8_t> twelveBit = good;
    twelveBit[SofSizeOffset(good) - 1] = 12;  // sample precision the decoder does not do
    std::vector<uint8_t> noQuantTables = good;
    for (size_t i = 2; i + 1 < noQuantTables.size(); ++i)
        if (noQuantTables[i] == 0xFF && noQuantTables[i + 1] == 0xDB) noQuantTables[i + 1] = 0xEF;  // DQT -> APP15
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"marker only", markerOnly},
        {"garbage after the marker", garbageAfterSoi},
        {"bmp data", bmp},
        {"zero width", WithSize(good, 0, 64)},
        {"zero height", WithSize(good, 64, 0)},
        {"12-bit samples", twelveBit},
        {"quantisation tables missing", noQuantTables},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap out = Occupied();
        EXPECT_FALSE(DecodeJpeg(c.bytes.data(), c.bytes.size(), out));
        EXPECT_TRUE(out.Empty());
    }
}

// ---- sizes ----

long PeakKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// Resets the peak resident size so the next reading covers only what follows.
bool ResetPeak() {
    std::ofstream refs("/proc/self/clear_refs");
    refs << "5";
    refs.flush();
    return bool(refs);
}

TEST(JpegLoader, AbsurdSizesFailWithoutTouchingMemory) {
    if (!ResetPeak()) GTEST_SKIP() << "peak memory cannot be reset here";
    const std::vector<uint8_t> good = QuadrantJpeg({});
    const long before = ResidentKiB();
    // 65535 is past the library's own limit; 65500 passes it, and its 12 GB
    // of pixels must be refused by the bitmap before anything is decoded.
    for (int side : {65535, 65500}) {
        for (bool progressive : {false, true}) {
            JpegSpec spec;
            spec.progressive = progressive;
            Bitmap out = Occupied();
            EXPECT_FALSE(Decode(WithSize(QuadrantJpeg(spec), side, side), out)) << side;
            EXPECT_TRUE(out.Empty());
        }
    }
    EXPECT_LT(PeakKiB() - before, 64 * 1024);
}

TEST(JpegLoader, ReusesTheBitmapsStorageForTheNextImage) {
    JpegSpec spec;
    spec.width = 640;
    spec.height = 480;
    const std::vector<uint8_t> jpeg = QuadrantJpeg(spec);
    Bitmap out;
    ASSERT_TRUE(Decode(jpeg, out));
    const uint8_t* first = out.Bits();
    ASSERT_TRUE(Decode(jpeg, out));
    EXPECT_EQ(out.Bits(), first);
    ExpectQuadrantColours(out);
}

// ---- files ----

// A scratch folder; file names are raw bytes, valid UTF-8 or not.
class JpegFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "pelumir-jpeg-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return Path(name);
    }
    std::string dir_;
};

TEST_F(JpegFile, LoadsAJpegWhateverItsName) {
    Bitmap out;
    EXPECT_TRUE(LoadJpegFile(Write("photo.jpg", QuadrantJpeg({})), out));
    ExpectQuadrantColours(out);
    EXPECT_TRUE(LoadJpegFile(Write("jpeg-named-bmp.bmp", QuadrantJpeg({})), out));
    ExpectQuadrantColours(out);
    // Bytes that are not valid UTF-8 still name the file.
    EXPECT_TRUE(LoadJpegFile(Write("\x82\xa0\x82\xa2.jpg", QuadrantJpeg({})), out));
}

TEST_F(JpegFile, FailsOnWhatIsNotAReadableJpeg) {
    std::vector<uint8_t> bmp(4096, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    const std::vector<uint8_t> jpeg = QuadrantJpeg({});
    const std::string paths[] = {
        Write("bmp-named-jpg.jpg", bmp),
        Write("empty.jpg", {}),
        Write("only-the-header.jpg", std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + 2)),
        Path("missing.jpg"),
        dir_,  // a folder
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        Bitmap out = Occupied();
        EXPECT_FALSE(LoadJpegFile(path, out));
        EXPECT_TRUE(out.Empty());
    }
}

}  // namespace
}  // namespace pelumir
