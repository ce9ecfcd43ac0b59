#include "viewer/PlayOrder.h"

#include <chrono>
#include <numeric>

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

std::vector<std::string> BuildPlayOrder(const std::vector<std::string>& sourceImages, int imageSortType) {
    const size_t n = sourceImages.size();
    std::vector<std::string> play;
    play.reserve(n);
    if (imageSortType == 1) {
        play.assign(sourceImages.rbegin(), sourceImages.rend());
    } else if (imageSortType == 2) {
        // Drawing from the shrinking list of remaining positions; an index
        // list keeps each removal cheap for long shows.
        std::vector<uint32_t> working(n);
        std::iota(working.begin(), working.end(), 0u);
        for (size_t k = 0; k < n; ++k) {
            const int r = RandomIndex(int(working.size()));
            play.push_back(sourceImages[working[size_t(r)]]);
            working.erase(working.begin() + r);
        }
    } else {
        play = sourceImages;
    }
    return play;
}

}  // namespace pelumir
