// What each format's file says of its colours reaches the load, its pixels unchanged.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>

#include "image/ImageFile.h"
#include "tests/unit/HeifFixture.h"
#include "tests/unit/ImageFixtures.h"
#include "tests/unit/JxlFixture.h"
#include "tests/unit/PngFixture.h"
#include "tests/unit/TempDir.h"
#include "tests/unit/TiffFixture.h"
#include "tests/unit/WebpFixture.h"
#include "viewer/BitmapUtils.h"

namespace pelumir {
namespace {

using Transfer = ColourSource::Transfer;
constexpr std::array<double, 8> kP3{0.68, 0.32, 0.265, 0.69, 0.15, 0.06, 0.3127, 0.329};

// A profile as lcms2 writes it, padded (its header saying so) to `bytes`.
std::vector<uint8_t> Profile(size_t bytes = 0) {
    cmsHPROFILE profile = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> icc(std::max<size_t>(size, bytes));
    cmsSaveProfileToMem(profile, icc.data(), &size);
    cmsCloseProfile(profile);
    for (int i = 0; i < 4; ++i) icc[size_t(i)] = uint8_t(icc.size() >> (24 - 8 * i));
    return icc;
}

ColourSource Described(std::array<double, 8> xy, Transfer t, double gamma = 2.2) { return {{}, true, xy, t, gamma}; }

// libpng keeps coordinates in 1/100000ths.
ColourSource Rounded(ColourSource c) {
    for (double& v : c.xy) v = std::round(v * 1e5);
    c.gamma = std::round(c.gamma * 1e5);
    return c;
}

// The JPEG without its `n`th APP2 segment.
std::vector<uint8_t> WithoutApp2(std::vector<uint8_t> jpeg, int n) {
    size_t at = 2, length = 0;
    for (; (length = 2 + size_t(jpeg[at + 2] << 8 | jpeg[at + 3])), jpeg[at + 1] != 0xE2 || --n > 0; at += length) {}
    jpeg.erase(jpeg.begin() + long(at), jpeg.begin() + long(at + length));
    return jpeg;
}

std::vector<uint8_t> Bmp(uint32_t csType, std::vector<uint8_t> profile) {
    return testutil::BuildBmp({3, 2, 24, 124, 0, {}, {}, -1, -1, csType, std::move(profile)}, {1, 2, 3, 4, 5, 6});
}

TEST(ColourSource, EveryFormatReportsWhatItsFileSays) {
    using namespace testutil;
    const std::vector<uint8_t> icc = Profile(), large = Profile(150000), small(131, 1);
    const auto jpeg = [](std::vector<uint8_t> icc) { return NoisyJpeg({.width = 16, .height = 16, .icc = icc}); };
    std::vector<uint8_t> plainBmp = Bmp(0, {}), cut = Bmp(0x4D424544, icc);  // cut: its profile one byte short
    cut.pop_back();
    const struct {
        std::string name;
        std::vector<uint8_t> file, plain;  // the same picture saying nothing
        ColourSource want;
    } cases[] = {
        {"x.jpg", jpeg(icc), jpeg({}), {.icc = icc}},
        {"three segments.jpg", jpeg(large), jpeg({}), {.icc = large}},
        {"a segment missing.jpg", WithoutApp2(jpeg(large), 2), jpeg({}), {}},
        {"too small.jpg", jpeg(small), jpeg({}), {}},
        {"x.png", BuildPng({.icc = icc}), BuildPng({}), {.icc = icc}},
        {"gamma 1 over 2.2.png", BuildPng({.gamma = 45455}), BuildPng({}), {}},
        {"gamma and primaries.png", BuildPng({.gamma = 45455, .chrm = {kP3.begin(), kP3.end()}}), BuildPng({}),
         Described(kP3, Transfer::Gamma, 100000 / 45455.0)},
        {"gamma 1.png", BuildPng({.gamma = 100000}), BuildPng({}), Described(kSrgbPrimaries, Transfer::Linear)},
        {"x.webp", BuildWebp({.icc = icc}), BuildWebp({}), {.icc = icc}},
        {"x.tif", BuildTiff({.icc = icc}), BuildTiff({}), {.icc = icc}},
        {"x.heic", BuildHeif({.lossless = true, .icc = icc}), BuildHeif({.lossless = true}), {.icc = icc}},
        {"pq.avif", BuildHeif({.av1 = true, .lossless = true, .transfer = 16}),
         BuildHeif({.av1 = true, .lossless = true}), Described(kSrgbPrimaries, Transfer::Pq)},
        {"x.jxl", BuildJxl({.icc = icc}), BuildJxl({}), {.icc = icc}},
        {"x.bmp", Bmp(0x4D424544, icc), plainBmp, {.icc = icc}},
        {"profile past the end.bmp", cut, plainBmp, {}},
        {"named sRGB.bmp", Bmp(0x73524742, {}), plainBmp, {}},
    };
    const TempDir dir;
    const auto load = [&](const std::string& name, const std::vector<uint8_t>& f, Bitmap& out) {
        PictureSink sink(out);
        FileBytes bytes;
        const LoadResult loaded = LoadImage(dir.Touch(name, {f.begin(), f.end()}), bytes, sink, {.otherFormats = true});
        ConvertToBit32(out);  // the padding of 24-bit rows is left as it was
        return loaded;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap got, want;
        const LoadResult loaded = load(c.name, c.file, got);
        ASSERT_EQ(loaded.state, LoadResult::State::Loaded);
        EXPECT_EQ(Rounded(loaded.colour), Rounded(c.want));
        EXPECT_TRUE(load("plain " + c.name, c.plain, want).colour.Untagged());
        ExpectSameBitmap(got, want);
    }
}

}  // namespace
}  // namespace pelumir
