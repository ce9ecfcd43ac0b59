#include "image/ColourTransform.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

namespace pelumir {

namespace {

using Transfer = ColourSource::Transfer;

struct ProfileCloser {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;
struct CurveFree {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};
using Curve = std::unique_ptr<cmsToneCurve, CurveFree>;

// The coded curves lcms2 can describe itself, parametric type 4:
// Y = (aX + b)^g above d, cX below.
Curve CodedCurve(const ColourSource& s) {
    switch (s.transfer) {
    case Transfer::Srgb: {
        const double p[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
        return Curve(cmsBuildParametricToneCurve(nullptr, 4, p));
    }
    case Transfer::Bt709: {
        const double p[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
        return Curve(cmsBuildParametricToneCurve(nullptr, 4, p));
    }
    case Transfer::Gamma:
        return Curve(cmsBuildGamma(nullptr, s.gamma));
    default:  // linear, and the HDR curves, which the table takes from ToneMapped
        return Curve(cmsBuildGamma(nullptr, 1.0));
    }
}

Profile SourceProfile(const ColourSource& s) {
    if (!s.icc.empty()) return Profile(cmsOpenProfileFromMem(s.icc.data(), cmsUInt32Number(s.icc.size())));
    // The decoders' own rule: an absurd description, or sRGB itself, makes no profile.
    if (!s.described || !DescribedColour(s.xy, s.transfer, s.gamma).described) return nullptr;
    const cmsCIExyY white{s.xy[6], s.xy[7], 1.0};
    const cmsCIExyYTRIPLE primaries{{s.xy[0], s.xy[1], 1.0}, {s.xy[2], s.xy[3], 1.0}, {s.xy[4], s.xy[5], 1.0}};
    Curve curve = CodedCurve(s);
    if (curve == nullptr) return nullptr;
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    return Profile(cmsCreateRGBProfile(&white, &primaries, curves));
}

bool UsableAs(cmsHPROFILE p, bool source) {
    if (p == nullptr) return false;
    const cmsColorSpaceSignature space = cmsGetColorSpace(p);
    return space == cmsSigRgbData || (source && space == cmsSigGrayData);
}

// A matrix/shaper profile's colorants (columns, D50 XYZ) and curves.
struct Shaper {
    double m[9];
    const cmsToneCurve* curve[3];
};

bool ReadShaper(cmsHPROFILE p, Shaper& s) {
    if (!cmsIsMatrixShaper(p)) return false;
    if (cmsGetColorSpace(p) == cmsSigGrayData) {
        // Grey rows come as R = G = B: a third of the white from each.
        const auto* trc = static_cast<const cmsToneCurve*>(cmsReadTag(p, cmsSigGrayTRCTag));
        if (trc == nullptr) return false;
        const cmsCIEXYZ* white = cmsD50_XYZ();
        const double w[3] = {white->X / 3, white->Y / 3, white->Z / 3};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) s.m[r * 3 + c] = w[r];
        s.curve[0] = s.curve[1] = s.curve[2] = trc;
        return true;
    }
    const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(p, colorants[c]));
        s.curve[c] = static_cast<const cmsToneCurve*>(cmsReadTag(p, curves[c]));
        if (xyz == nullptr || s.curve[c] == nullptr) return false;
        s.m[c] = xyz->X;
        s.m[3 + c] = xyz->Y;
        s.m[6 + c] = xyz->Z;
    }
    return true;
}

bool Invert(const double (&a)[9], double (&inv)[9]) {
    const double det = a[0] * (a[4] * a[8] - a[5] * a[7]) - a[1] * (a[3] * a[8] - a[5] * a[6]) +
                       a[2] * (a[3] * a[7] - a[4] * a[6]);
    if (!(std::abs(det) > 1e-9)) return false;
    inv[0] = (a[4] * a[8] - a[5] * a[7]) / det;
    inv[1] = (a[2] * a[7] - a[1] * a[8]) / det;
    inv[2] = (a[1] * a[5] - a[2] * a[4]) / det;
    inv[3] = (a[5] * a[6] - a[3] * a[8]) / det;
    inv[4] = (a[0] * a[8] - a[2] * a[6]) / det;
    inv[5] = (a[2] * a[3] - a[0] * a[5]) / det;
    inv[6] = (a[3] * a[7] - a[4] * a[6]) / det;
    inv[7] = (a[1] * a[6] - a[0] * a[7]) / det;
    inv[8] = (a[0] * a[4] - a[1] * a[3]) / det;
    return true;
}

uint8_t Coded(double v) { return uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }



// The screen's curves backwards, light to coded value; false when one
// cannot be turned round.
bool FillOut(const Shaper& screen, ColourTable& t) {
    for (int c = 0; c < 3; ++c) {
        if (c > 0 && screen.curve[c] == screen.curve[c - 1]) {
            t.out[c] = t.out[c - 1];
            continue;
        }
        Curve back(cmsReverseToneCurve(screen.curve[c]));
        if (back == nullptr) return false;
        for (int i = 0; i < ColourTable::kOutSteps; ++i)
            t.out[c][i] = Coded(cmsEvalToneCurveFloat(back.get(), float(ColourTable::StepLight(i))));
    }
    return true;
}

// Whether pixels would come out as they went in, or at most a level off
// here and there: an sRGB profile written with other rounding than ours
// costs no work.
bool Unchanged(const ColourTable& t) {
    static constexpr float kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i)
        if (std::abs(t.matrix[i] - kIdentity[i]) > 1e-3f) return false;
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v) {
            if (t.out[c][size_t(ColourTable::OutStep(t.in[c][v]))] != v) return false;
        }
    return true;
}

std::shared_ptr<const ColourTable> MatrixTable(const ColourSource& source, const Shaper& from, const Shaper& to) {
    auto t = std::make_shared<ColourTable>();
    t->mode = ColourTable::Mode::Matrix;
    double back[9];
    if (!Invert(to.m, back)) return nullptr;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double sum = 0;
            for (int k = 0; k < 3; ++k) sum += back[r * 3 + k] * from.m[k * 3 + c];
            t->matrix[size_t(r * 3 + c)] = float(sum);
        }
    const bool hdr = source.icc.empty() && (source.transfer == Transfer::Pq || source.transfer == Transfer::Hlg);
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v)
            t->in[c][v] = hdr ? float(ToneMapped(source.transfer, v / 255.0))
                              : cmsEvalToneCurveFloat(from.curve[c], float(v) / 255.0f);
    if (!FillOut(to, *t)) return nullptr;
    if (Unchanged(*t)) return nullptr;
    return t;
}

// Any other pair of profiles: lcms2's own transform sampled on a grid.
std::shared_ptr<const ColourTable> GridTable(cmsHPROFILE from, cmsHPROFILE to) {
    const cmsUInt32Number inFormat = cmsGetColorSpace(from) == cmsSigGrayData ? TYPE_GRAY_FLT : TYPE_RGB_FLT;
    cmsHTRANSFORM x = cmsCreateTransform(from, inFormat, to, TYPE_RGB_FLT, INTENT_PERCEPTUAL, 0);
    if (x == nullptr) return nullptr;
    constexpr int N = ColourTable::kGridSide;
    auto t = std::make_shared<ColourTable>();
    t->mode = ColourTable::Mode::Grid;
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v) t->in[c][v] = float(v) / 255.0f;
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < ColourTable::kOutSteps; ++i) t->out[c][i] = Coded(ColourTable::StepLight(i));
    std::vector<float> points(size_t(N) * N * N * 3);
    const bool grey = inFormat == TYPE_GRAY_FLT;
    size_t k = 0;
    for (int r = 0; r < N; ++r)
        for (int g = 0; g < N; ++g)
            for (int b = 0; b < N; ++b) {
                const float rgb[3] = {float(r) / (N - 1), float(g) / (N - 1), float(b) / (N - 1)};
                if (grey) points[k++] = (rgb[0] + rgb[1] + rgb[2]) / 3;
                else
                    for (float v : rgb) points[k++] = v;
            }
    t->grid.resize(size_t(N) * N * N * 3);
    cmsDoTransform(x, points.data(), t->grid.data(), cmsUInt32Number(N * N * N));
    cmsDeleteTransform(x);
    return t;
}

std::shared_ptr<const ColourTable> Build(const ColourSource& source, std::span<const uint8_t> screen) {
    Profile from = SourceProfile(source);
    if (!UsableAs(from.get(), true)) {
        // Refused or absurd: the picture is taken as sRGB.
        if (screen.empty()) return nullptr;
        from = Profile(cmsCreate_sRGBProfile());
    }
    Profile to;
    if (!screen.empty()) to = Profile(cmsOpenProfileFromMem(screen.data(), cmsUInt32Number(screen.size())));
    if (!UsableAs(to.get(), false)) to = Profile(cmsCreate_sRGBProfile());
    Shaper a{}, b{};
    if (ReadShaper(from.get(), a) && ReadShaper(to.get(), b)) return MatrixTable(source, a, b);
    return GridTable(from.get(), to.get());
}

}  // namespace

double ToneMapped(ColourSource::Transfer transfer, double coded) {
    coded = std::clamp(coded, 0.0, 1.0);
    double nits;
    if (transfer == Transfer::Pq) {
        constexpr double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128, c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32,
                         c3 = 2392.0 / 4096 * 32;
        const double e = std::pow(coded, 1 / m2);
        nits = 10000 * std::pow(std::max(e - c1, 0.0) / (c2 - c3 * e), 1 / m1);
    } else if (transfer == Transfer::Hlg) {
        constexpr double a = 0.17883277, b = 0.28466892, c = 0.55991073;
        const double scene = coded <= 0.5 ? coded * coded / 3 : (std::exp((coded - c) / a) + b) / 12;
        nits = 1000 * std::pow(scene, 1.2);  // a 1000 cd/m2 display's system gamma
    } else {
        return coded;
    }
    // Straight up to a knee, then bent towards 1 without ever reaching it;
    // diffuse white (203 cd/m2) lands at 0.8.
    constexpr double kKnee = 0.6;
    const double x = nits / 203.0;
    if (x <= kKnee) return x;
    const double over = x - kKnee;
    return kKnee + (1 - kKnee) * over / (over + (1 - kKnee));
}

std::shared_ptr<const ColourTable> ColourTableFor(const ColourSource& source, std::span<const uint8_t> screen) {
    if (source.Untagged() && screen.empty()) return nullptr;
    struct Kept {
        ColourSource source;
        std::vector<uint8_t> screen;
        std::shared_ptr<const ColourTable> table;
    };
    static std::mutex lock;
    static std::vector<Kept> kept;  // the latest last
    const std::lock_guard<std::mutex> hold(lock);
    for (auto it = kept.begin(); it != kept.end(); ++it)
        if (it->source == source && std::equal(it->screen.begin(), it->screen.end(), screen.begin(), screen.end())) {
            std::rotate(it, it + 1, kept.end());
            return kept.back().table;
        }
    std::shared_ptr<const ColourTable> table = Build(source, screen);
    if (kept.size() == 4) kept.erase(kept.begin());
    kept.push_back({source, std::vector<uint8_t>(screen.begin(), screen.end()), table});
    return table;
}

}  // namespace pelumir
