#include "viewer/ImagePreparation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "tests/unit/TempDir.h"
#include "tests/unit/TestFiles.h"
#include "viewer/StretchDraw.h"

namespace pelumir {
namespace {

// ---- fixtures: noisy pictures, so the files span many pieces ----

uint32_t NextNoise(uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

struct JpegKind {
    const char* name;
    J_COLOR_SPACE input, stored;
    bool progressive = false;
    bool adobe = false;
    bool arithmetic = false;
};

std::string EncodeJpeg(const JpegKind& kind, int w, int h) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&c, &out, &outSize);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = kind.input == JCS_GRAYSCALE ? 1 : kind.input == JCS_CMYK ? 4 : 3;
    c.in_color_space = kind.input;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, kind.stored);
    c.write_Adobe_marker = kind.adobe;
    c.arith_code = kind.arithmetic;
    jpeg_set_quality(&c, 95, TRUE);
    if (kind.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(w * c.input_components));
    uint32_t state = 0x9E3779B9;
    while (c.next_scanline < c.image_height) {
        for (size_t i = 0; i < row.size(); ++i) row[i] = uint8_t(i * 3 + c.next_scanline * 2 + NextNoise(state) % 48);
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&c, &p, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string bytes(reinterpret_cast<char*>(out), outSize);
    std::free(out);
    return bytes;
}

// A bottom-up Windows bitmap with a grey palette for the indexed depths and
// noise for pixels.
std::string EncodeBmp(int bits, int w, int h) {
    const uint32_t colours = bits <= 8 ? 1u << bits : 0;
    const uint32_t stride = uint32_t(w * bits + 31) / 32 * 4;
    const uint32_t offBits = 54 + colours * 4, fileSize = offBits + stride * uint32_t(h);
    std::string bmp(fileSize, '\0');
    auto put = [&bmp](size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) bmp[at + size_t(i)] = char(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put(2, fileSize, 4);
    put(10, offBits, 4);
    put(14, 40, 4);
    put(18, uint32_t(w), 4);
    put(22, uint32_t(h), 4);
    put(26, 1, 2);
    put(28, uint32_t(bits), 2);
    for (uint32_t i = 0; i < colours; ++i) {
        const uint32_t grey = i * 255 / (colours - 1);
        put(54 + 4 * i, grey << 16 | grey << 8 | grey, 4);
    }
    uint32_t state = 0x12345678;
    for (size_t i = offBits; i < bmp.size(); ++i) bmp[i] = char(NextNoise(state));
    return bmp;
}

void ExpectSameBitmap(const Bitmap& got, const Bitmap& want) {
    ASSERT_EQ(got.Width(), want.Width());
    ASSERT_EQ(got.Height(), want.Height());
    ASSERT_EQ(got.BitsPerPixel(), want.BitsPerPixel());
    EXPECT_EQ(got.Palette(), want.Palette());
    // Only the pixels count: widths are chosen so no row has padding.
    if (want.ByteSize() != 0) {
        EXPECT_EQ(std::memcmp(got.Bits(), want.Bits(), want.ByteSize()), 0);
    }
}

// What a change at the click makes: the one load, then the fitting.
void ColdChange(const std::string& path, int w, int h, Bitmap& source, Bitmap& frame) {
    std::vector<uint8_t> bytes;
    const bool loaded = LoadImageFile(path, bytes, source);
    frame.Allocate(w, h, 32, Bitmap::Init::Zero);
    if (loaded) DrawFitted(source, frame, w, h);
}

// Prepares in the smallest steps there are: a deadline already passed
// lets each step do exactly one piece of work.
int PrepareInPieces(ImagePreparation& prep, const std::string& path, int w, int h, size_t pieceBytes) {
    prep.Start(path, w, h, pieceBytes);
    int steps = 1;
    while (!prep.Step(StepDeadline{})) ++steps;
    return steps;
}

// ---- tests ----

TEST(ImagePreparation, APreparedImageIsTheColdChangeByteForByte) {
    testutil::TempDir dir;
    std::vector<std::pair<std::string, std::string>> files;  // name, bytes
    const JpegKind jpegs[] = {
        {"baseline.jpg", JCS_RGB, JCS_YCbCr},
        {"progressive.jpg", JCS_RGB, JCS_YCbCr, true},
        {"grey.jpg", JCS_GRAYSCALE, JCS_GRAYSCALE},
        {"grey-progressive.jpg", JCS_GRAYSCALE, JCS_GRAYSCALE, true},
        {"cmyk-adobe.jpg", JCS_CMYK, JCS_CMYK, false, true},
        {"cmyk-plain.jpg", JCS_CMYK, JCS_CMYK},
        {"ycck.jpg", JCS_CMYK, JCS_YCCK, true, true},
        {"arithmetic.jpg", JCS_RGB, JCS_YCbCr, true, false, true},  // a decoder that cannot stop midway
    };
    for (const JpegKind& kind : jpegs) files.emplace_back(kind.name, EncodeJpeg(kind, 320, 200));
    for (int bits : {1, 4, 8, 16, 24, 32}) files.emplace_back("depth" + std::to_string(bits) + ".bmp", EncodeBmp(bits, 96, 50));
    const std::string baseline = files[0].second, progressive = files[1].second;
    // Cut short, a JPEG still decodes to full size; past its end the
    // decoder sees what a memory source shows it, stepping or not.
    files.emplace_back("truncated.jpg", baseline.substr(0, baseline.size() * 2 / 3));
    files.emplace_back("truncated-progressive.jpg", progressive.substr(0, progressive.size() / 2));
    files.emplace_back("jpeg-named.bmp", baseline);
    files.emplace_back("bitmap-named.jpg", EncodeBmp(24, 96, 50));
    files.emplace_back("broken.jpg", baseline.substr(0, 300) + std::string(5000, '\x55'));
    files.emplace_back("empty.jpg", "");

    ImagePreparation prep;
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const std::string path = dir / name;
        testutil::Spit(path, bytes);
        Bitmap coldSource, coldFrame;
        ColdChange(path, 200, 150, coldSource, coldFrame);
        for (size_t piece : {size_t(1), size_t(700), kPreparePieceBytes}) {
            const int steps = PrepareInPieces(prep, path, 200, 150, piece);
            if (piece == 700 && bytes.size() > 20000) {
                EXPECT_GT(steps, 20);  // the work really came in pieces
            }
            Bitmap source, frame;
            prep.TakeInto(source, frame);
            ExpectSameBitmap(source, coldSource);
            ExpectSameBitmap(frame, coldFrame);
        }
    }
    // The failures are failures, not pictures.
    Bitmap source, frame;
    for (const char* name : {"bitmap-named.jpg", "broken.jpg", "empty.jpg", "missing.jpg"}) {
        PrepareInPieces(prep, dir / name, 200, 150, 700);
        EXPECT_FALSE(prep.Loaded()) << name;
        prep.TakeInto(source, frame);
        EXPECT_TRUE(source.Empty()) << name;
        EXPECT_EQ(frame.Width(), 200);
    }
}

TEST(ImagePreparation, FinishingMidwayGivesTheSameImageAndAChangedFileIsReadAgain) {
    testutil::TempDir dir;
    const std::string path = dir / "photo.jpg";
    testutil::Spit(path, EncodeJpeg({"", JCS_RGB, JCS_YCbCr, true}, 320, 200));
    Bitmap coldSource, coldFrame;
    ColdChange(path, 160, 120, coldSource, coldFrame);

    ImagePreparation prep;
    prep.Start(path, 160, 120, 500);
    for (int i = 0; i < 15; ++i) EXPECT_FALSE(prep.Step(StepDeadline{}));
    EXPECT_TRUE(prep.Holds(path, 160, 120));
    EXPECT_FALSE(prep.Holds(path, 161, 120));
    EXPECT_FALSE(prep.Holds(dir / "other.jpg", 160, 120));
    prep.Finish();
    ASSERT_TRUE(prep.Ready());
    Bitmap source, frame;
    prep.TakeInto(source, frame);
    ExpectSameBitmap(source, coldSource);
    ExpectSameBitmap(frame, coldFrame);
    EXPECT_FALSE(prep.Aimed());

    // Rewritten after it was read: the preparation no longer holds it.
    PrepareInPieces(prep, path, 160, 120, kPreparePieceBytes);
    EXPECT_TRUE(prep.Holds(path, 160, 120));
    testutil::Spit(path, EncodeJpeg({"", JCS_GRAYSCALE, JCS_GRAYSCALE}, 64, 48));
    EXPECT_FALSE(prep.Holds(path, 160, 120));
    std::remove(path.c_str());
    EXPECT_FALSE(prep.Holds(path, 160, 120));
    // A file that was missing and still is: its black frame stands.
    PrepareInPieces(prep, path, 160, 120, kPreparePieceBytes);
    EXPECT_TRUE(prep.Holds(path, 160, 120));
    EXPECT_FALSE(prep.Loaded());
}

}  // namespace
}  // namespace pelumir
