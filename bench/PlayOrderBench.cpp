// One random pass over 1,000 and 100,000 images: the time of a pass at each
// size, the time per entry at 100,000 against that at 1,000 (n log n keeps
// it near 1), and the pass against a registration-order pass of the same
// list, which only copies the names.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "viewer/PlayOrder.h"

namespace {

std::vector<std::string> Names(int n) {
    std::vector<std::string> names;
    names.reserve(size_t(n));
    char buf[64];
    for (int i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "/pics/holiday 2023/IMG_%06d.jpg", i);
        names.emplace_back(buf);
    }
    return names;
}

// Best of several passes, so a burst of load elsewhere does not count.
double BestPassMs(const std::vector<std::string>& names, int sortType, int passes) {
    double best = 1e300;
    for (int p = 0; p < passes; ++p) {
        const double t0 = bench::NowMs();
        const auto play = pelumir::BuildPlayOrder(names, sortType);
        best = std::min(best, bench::NowMs() - t0);
        if (play.size() != names.size()) std::printf("play_order: wrong length\n");
    }
    return best;
}

void Run() {
    pelumir::RandomSeed = 12345;
    const auto small = Names(1000), large = Names(100000);
    const double smallMs = BestPassMs(small, 2, 50);
    const double largeMs = BestPassMs(large, 2, 7);
    const double copyMs = BestPassMs(large, 0, 7);
    bench::Print("play_order.random_pass_1000", smallMs, " ms");
    bench::Print("play_order.random_pass_100000", largeMs, " ms");
    bench::Print("play_order.per_entry_ratio", (largeMs / 100000) / (smallMs / 1000));
    bench::Print("play_order.random_vs_copy_100000", largeMs / copyMs);
}

bench::Register reg("play_order", Run);

}  // namespace
