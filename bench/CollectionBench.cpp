// Collecting the pictures of a folder as it grows from 1,000 to 100,000
// entries: listing, sorting and the existence test of each. The sort makes
// n log n the best to hope for; the time per entry at 100,000 should stay
// within twice that at 1,000.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "app/ImageCollection.h"
#include "bench/Bench.h"
#include "platform/Collation.h"

namespace {

constexpr int kSizes[] = {1000, 10000, 100000};

// A camera folder: mostly JPEGs, some bitmaps, some other files, created in
// a shuffled order so the file system's order is not already sorted.
std::string MakeFolder(int n) {
    const std::string dir = bench::WorkDir() + "/collect" + std::to_string(n);
    ::mkdir(dir.c_str(), 0755);
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) order[size_t(i)] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(1));
    char name[64];
    for (int i : order) {
        const char* ext = i % 20 == 0 ? "bmp" : i % 20 == 1 ? "xmp" : "jpg";
        std::snprintf(name, sizeof name, "/DSC_%05d Holiday.%s", i, ext);
        const int fd = ::open((dir + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) ::close(fd);
    }
    return dir;
}

double CollectMs(const std::string& dir, const pelumir::Collator& collator, size_t& found) {
    const double t0 = bench::NowMs();
    found = pelumir::CollectImages({dir}, collator).size();
    return bench::NowMs() - t0;
}

void Run() {
    const pelumir::Collator collator("ja_JP.UTF-8");
    std::vector<std::string> dirs;
    for (int n : kSizes) dirs.push_back(MakeFolder(n));
    // Best of several rounds, the sizes interleaved so that load from
    // elsewhere on the machine hits them alike; the small folder is
    // collected many times a round so each sample lasts long enough.
    std::vector<double> best(std::size(kSizes), 1e300);
    size_t found = 0;
    for (int round = 0; round < 5; ++round) {
        for (size_t s = 0; s < std::size(kSizes); ++s) {
            const int repeats = 100000 / kSizes[s];
            double total = 0;
            for (int r = 0; r < repeats; ++r) total += CollectMs(dirs[s], collator, found);
            best[s] = std::min(best[s], total / repeats);
        }
    }
    for (size_t s = 0; s < std::size(kSizes); ++s)
        bench::Print("collect.per_entry_" + std::to_string(kSizes[s]), best[s] * 1000.0 / kSizes[s], " us");
    bench::Print("collect.pictures_found_100000", double(found));
    bench::Print("collect.ratio_100000_to_1000",
                 (best.back() / kSizes[std::size(kSizes) - 1]) / (best.front() / kSizes[0]));
}

const bench::Register kCollect("collect", Run);

}  // namespace
