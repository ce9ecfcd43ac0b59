// A quarter turn of a 24-megapixel 32-bit image against copying its bytes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bench/Bench.h"
#include "viewer/BitmapUtils.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kRuns = 7;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Keeps the compiler from dropping a copy whose result nobody reads.
volatile uint8_t g_sink;

void RunRotate() {
    using pelumir::Bitmap;
    Bitmap source;
    source.Allocate(kWidth, kHeight, 32, Bitmap::Init::Uninitialised);
    uint32_t seed = 12345;
    for (size_t i = 0; i < source.ByteSize(); ++i) {
        seed = seed * 1103515245u + 12345u;
        source.Bits()[i] = uint8_t(seed >> 24);
    }
    const size_t bytes = source.ByteSize();

    // Baselines: the same bytes into a buffer already in memory (the bare
    // copy), and into a new bitmap, which the turn has to make as well.
    std::vector<uint8_t> warm(bytes, 1);
    std::vector<double> rotate, copyWarm, copyNew;
    for (int run = 0; run < kRuns; ++run) {
        double t0 = bench::NowMs();
        std::memcpy(warm.data(), source.Bits(), bytes);
        g_sink = warm[bytes / 3];
        copyWarm.push_back(bench::NowMs() - t0);

        t0 = bench::NowMs();
        {
            Bitmap fresh;
            fresh.Allocate(kWidth, kHeight, 32, Bitmap::Init::Zero);
            std::memcpy(fresh.Bits(), source.Bits(), bytes);
            g_sink = fresh.Bits()[bytes / 3];
        }
        copyNew.push_back(bench::NowMs() - t0);

        t0 = bench::NowMs();
        {
            const Bitmap turned = pelumir::RotateBitmapRight(source);
            g_sink = turned.Bits()[bytes / 3];
        }
        rotate.push_back(bench::NowMs() - t0);
    }
    const double r = Median(rotate), w = Median(copyWarm), n = Median(copyNew);
    bench::Print("rotate_24mp_32bit_ms", r, " ms");
    bench::Print("memcpy_24mp_32bit_ms", w, " ms");
    bench::Print("memcpy_new_bitmap_24mp_32bit_ms", n, " ms");
    bench::Print("rotate_24mp_32bit_vs_memcpy", r / w);
    bench::Print("rotate_24mp_32bit_vs_memcpy_new_bitmap", r / n);
}

const bench::Register kRotate("rotate_24mp_32bit", RunRotate);

}  // namespace
