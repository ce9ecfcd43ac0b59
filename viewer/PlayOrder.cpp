#include "viewer/PlayOrder.h"

#include <chrono>

#include "settings/ViewerConfig.h"

namespace pelumir {

uint32_t RandomSeed = 0;

uint32_t SeedForTimeOfDay(int hour, int minute, int second, int millisecond) {
    return uint32_t(((hour * 60 + minute) * 60 + second) * 1000 + millisecond);
}

void SeedRandom() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto sinceMidnight = now - floor<days>(now);
    RandomSeed = uint32_t(duration_cast<milliseconds>(sinceMidnight).count());
}

int RandomIndex(int n) {
    RandomSeed = RandomSeed * 134775813u + 1u;
    return int((uint64_t(RandomSeed) * uint64_t(uint32_t(n))) >> 32);
}

namespace {

// The positions not yet drawn, as a Fenwick tree of 0/1 counts: finding the
// r-th remaining entry and removing it both take O(log n), so a shuffle of
// 100,000 images is not quadratic. It picks exactly the entry that erasing
// from a shrinking list would, so a seed gives the same order as always.
class RemainingPositions {
public:
    explicit RemainingPositions(size_t n) : tree_(n + 1, 0) {
        // Linear build: each node adds itself to its parent.
        for (size_t i = 1; i <= n; ++i) {
            tree_[i] += 1;
            const size_t parent = i + (i & (~i + 1));
            if (parent <= n) tree_[parent] += tree_[i];
        }
        top_ = 1;
        while (top_ * 2 <= n) top_ *= 2;
    }

    // Removes and returns the position of the r-th (0-based) remaining entry.
    size_t TakeNth(size_t r) {
        size_t pos = 0;  // the last 1-based index whose prefix count is <= r
        for (size_t step = top_; step != 0; step /= 2) {
            const size_t next = pos + step;
            if (next < tree_.size() && tree_[next] <= r) {
                pos = next;
                r -= tree_[next];
            }
        }
        for (size_t i = pos + 1; i < tree_.size(); i += i & (~i + 1)) tree_[i] -= 1;
        return pos;  // the 1-based index pos + 1, as a 0-based position
    }

private:
    std::vector<uint32_t> tree_;
    size_t top_ = 0;
};

}  // namespace

std::vector<std::string> BuildPlayOrder(const std::vector<std::string>& sourceImages, int imageSortType) {
    const size_t n = sourceImages.size();
    std::vector<std::string> play;
    play.reserve(n);
    if (imageSortType == SortType::Reverse) {
        play.assign(sourceImages.rbegin(), sourceImages.rend());
    } else if (imageSortType == SortType::Random) {
        RemainingPositions remaining(n);
        for (size_t k = 0; k < n; ++k) {
            const int r = RandomIndex(int(n - k));
            play.push_back(sourceImages[remaining.TakeNth(size_t(r))]);
        }
    } else {
        play = sourceImages;
    }
    return play;
}

}  // namespace pelumir
