// Colours turned into the screen's: the table gives what lcms2's own
// unoptimised transform gives, and nothing where nothing is to change.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "image/ColourTransform.h"
#include "viewer/ColourTable.h"

namespace pelumir {
namespace {

using Transfer = ColourSource::Transfer;

std::vector<uint8_t> Saved(cmsHPROFILE p) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(p, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(p, bytes.data(), &size);
    cmsCloseProfile(p);
    return bytes;
}

// An RGB profile of these primaries (xy of red, green, blue, white) and gamma (0: sRGB's curve).
cmsHPROFILE Rgb(std::array<double, 8> xy, double gamma) {
    const double srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = gamma > 0 ? cmsBuildGamma(nullptr, gamma) : cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    const cmsCIExyY white{xy[6], xy[7], 1};
    const cmsCIExyYTRIPLE primaries{{xy[0], xy[1], 1}, {xy[2], xy[3], 1}, {xy[4], xy[5], 1}};
    cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return p;
}

cmsHPROFILE Grey() {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 1.8);
    cmsHPROFILE p = cmsCreateGrayProfile(cmsD50_xyY(), curve);
    cmsFreeToneCurve(curve);
    return p;
}

// An RGB profile whose only way to light is a sampled table (no curves and
// matrix), as printer and camera profiles are: sRGB, sampled.
cmsHPROFILE TableOnly() {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile(), lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab = cmsCreateTransform(srgb, TYPE_RGB_16, lab, TYPE_Lab_16, INTENT_PERCEPTUAL, 0);
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 3, 3);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 17, 3, 3, nullptr);
    const auto sample = [](const cmsUInt16Number in[], cmsUInt16Number out[], void* x) -> int {
        cmsDoTransform(static_cast<cmsHTRANSFORM>(x), in, out, 1);
        return 1;
    };
    cmsStageSampleCLut16bit(clut, sample, toLab, 0);
    cmsPipelineInsertStage(lut, cmsAT_END, clut);
    cmsHPROFILE p = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(p, 2.1);  // a plain lut16, which takes a table alone
    cmsSetDeviceClass(p, cmsSigDisplayClass);
    cmsSetColorSpace(p, cmsSigRgbData);
    cmsSetPCS(p, cmsSigLabData);
    cmsWriteTag(p, cmsSigAToB0Tag, lut);
    cmsWriteTag(p, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(lut);
    cmsDeleteTransform(toLab);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);
    return p;
}

constexpr std::array<double, 8> kP3{0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.3127, 0.3290};
constexpr std::array<double, 8> kAdobe{0.64, 0.33, 0.21, 0.71, 0.15, 0.06, 0.3127, 0.3290};
// sRGB with red and green exchanged: a picture saved with it stores red as green.
constexpr std::array<double, 8> kSwapped{0.30, 0.60, 0.64, 0.33, 0.15, 0.06, 0.3127, 0.3290};

ColourSource Icc(std::vector<uint8_t> bytes) {
    ColourSource s;
    s.icc = std::move(bytes);
    return s;
}

// Every 5th level of each channel, B G R as frames hold them; only greys
// for a grey profile, whose rows come with R = G = B.
std::vector<uint8_t> Cube(bool grey = false) {
    std::vector<uint8_t> px;
    for (int r = 0; r < 256; r += 5)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; b += 5)
                if (!grey || (r == g && g == b)) px.insert(px.end(), {uint8_t(b), uint8_t(g), uint8_t(r)});
    return px;
}

int MostApart(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int most = 0;
    for (size_t i = 0; i < a.size(); ++i) most = std::max(most, std::abs(int(a[i]) - int(b[i])));
    return most;
}

// What lcms2 makes of the pixels, unoptimised and unrounded until the end.
std::vector<uint8_t> ByLcms(cmsHPROFILE from, cmsHPROFILE to, const std::vector<uint8_t>& px) {
    const bool grey = cmsGetColorSpace(from) == cmsSigGrayData;
    cmsHTRANSFORM x = cmsCreateTransform(from, grey ? TYPE_GRAY_DBL : TYPE_RGB_DBL, to, TYPE_RGB_DBL,
                                         INTENT_PERCEPTUAL, cmsFLAGS_NOOPTIMIZE);
    std::vector<uint8_t> out(px.size());
    for (size_t i = 0; i < px.size(); i += 3) {
        const double in[3] = {px[i + 2] / 255.0, px[i + 1] / 255.0, px[i] / 255.0};
        double o[3];
        cmsDoTransform(x, in, o, 1);
        for (int c = 0; c < 3; ++c) out[i + 2 - c] = uint8_t(std::lround(std::clamp(o[c], 0.0, 1.0) * 255));
    }
    cmsDeleteTransform(x);
    cmsCloseProfile(from);
    cmsCloseProfile(to);
    return out;
}

TEST(ColourTable, TurnsColoursAsLcmsDoes) {
    struct Row {
        const char* name;
        ColourSource source;
        std::vector<uint8_t> screen;
        std::function<cmsHPROFILE()> from, to;
    };
    ColourSource p3Described;
    p3Described.described = true;
    p3Described.xy = kP3;
    ColourSource adobeDescribed = p3Described;
    adobeDescribed.xy = kAdobe;
    adobeDescribed.transfer = Transfer::Gamma;
    adobeDescribed.gamma = 563.0 / 256;
    const auto srgb = [] { return cmsCreate_sRGBProfile(); };
    const Row rows[] = {
        {"Display P3 profile", Icc(Saved(Rgb(kP3, 0))), {}, [] { return Rgb(kP3, 0); }, srgb},
        {"Adobe RGB profile", Icc(Saved(Rgb(kAdobe, 563.0 / 256))), {}, [] { return Rgb(kAdobe, 563.0 / 256); }, srgb},
        {"red and green swapped", Icc(Saved(Rgb(kSwapped, 0))), {}, [] { return Rgb(kSwapped, 0); }, srgb},
        {"grey profile", Icc(Saved(Grey())), {}, Grey, srgb},
        {"a table alone", Icc(Saved(TableOnly())), {}, TableOnly, srgb},
        {"Display P3 described", p3Described, {}, [] { return Rgb(kP3, 0); }, srgb},
        {"Adobe RGB described", adobeDescribed, {}, [] { return Rgb(kAdobe, 563.0 / 256); }, srgb},
        {"untagged on an Adobe RGB screen", {}, Saved(Rgb(kAdobe, 563.0 / 256)), srgb,
         [] { return Rgb(kAdobe, 563.0 / 256); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<uint8_t> cube = Cube(!row.source.icc.empty() && row.source.icc[16] == 'G');
        const auto table = ColourTableFor(row.source, row.screen);
        ASSERT_NE(table, nullptr);
        std::vector<uint8_t> px = cube;
        table->ApplyRow(px.data(), px.size() / 3, 3);
        EXPECT_LE(MostApart(px, ByLcms(row.from(), row.to(), cube)), 1);
        // The table that crosses to the viewer turns them alike.
        ColourTable copy;
        const std::vector<uint8_t> bytes = table->Serialise();
        ASSERT_TRUE(copy.Deserialise(bytes.data(), bytes.size()));
        std::vector<uint8_t> again = cube;
        copy.ApplyRow(again.data(), again.size() / 3, 3);
        EXPECT_EQ(again, px);
    }
    // Swapped back: what was stored as pure green shows red.
    uint8_t green[3] = {0, 255, 0};
    ColourTableFor(rows[2].source, {})->ApplyRow(green, 1, 3);
    EXPECT_EQ(green[2], 255);
    EXPECT_LE(green[1], 1);
}

TEST(ColourTable, NoneWhereNothingChanges) {
    ColourSource refused = Icc(std::vector<uint8_t>(200, 0x41));
    ColourSource absurd;
    absurd.described = true;  // all primaries on one point
    absurd.xy = {0.3, 0.3, 0.3, 0.3, 0.3, 0.3, 0.3127, 0.3290};
    for (const ColourSource& s : {ColourSource{}, Icc(Saved(cmsCreate_sRGBProfile())), refused, absurd})
        EXPECT_EQ(ColourTableFor(s, {}), nullptr);
}

TEST(ColourTable, HdrHighlightsBendInsteadOfClipping) {
    for (Transfer t : {Transfer::Pq, Transfer::Hlg}) {
        double before = -1;
        for (int v = 0; v <= 255; ++v) {
            const double light = ToneMapped(t, v / 255.0);
            EXPECT_GT(light, before);
            EXPECT_LT(light, 1.0);
            before = light;
        }
        EXPECT_GT(before, 0.95);
    }
    // PQ's diffuse white (203 cd/m2) shows a little below the screen's white.
    EXPECT_NEAR(ToneMapped(Transfer::Pq, 0.5806), 0.8, 0.01);
}

TEST(ColourTable, AnyBytesOnlyGiveOtherColours) {
    ColourTable t;
    const std::vector<uint8_t> good = ColourTableFor(Icc(Saved(Rgb(kP3, 0))), {})->Serialise();
    EXPECT_FALSE(t.Deserialise(good.data(), good.size() - 1));
    std::vector<uint8_t> hostile = good;
    std::memset(hostile.data() + 12, 0xff, hostile.size() - 12);  // NaN everywhere
    ASSERT_TRUE(t.Deserialise(hostile.data(), hostile.size()));
    std::vector<uint8_t> px = Cube();
    t.ApplyRow(px.data(), px.size() / 3, 3);
    t.mode = ColourTable::Mode::Grid;
    t.grid.assign(size_t(ColourTable::kGridSide) * ColourTable::kGridSide * ColourTable::kGridSide * 3, -1e30f);
    t.ApplyRow(px.data(), px.size() / 3, 3);
}

}  // namespace
}  // namespace pelumir
