#pragma once
// The play order and the program's one random generator.
#include <cstdint>
#include <string>
#include <vector>

namespace pelumir {

// The whole state of the generator; one per process.
extern uint32_t RandomSeed;

// Seeds from the UTC time of day: milliseconds since midnight.
void SeedRandom();
// The seed for a time of day, for SeedRandom and its tests.
uint32_t SeedForTimeOfDay(int hour, int minute, int second, int millisecond);
// Advances the generator once and returns a draw in [0, n), n >= 1.
int RandomIndex(int n);

// Registration order (any sort type but 1 and 2), reverse order (1), or a
// random permutation (2) drawing once per entry. Duplicates stay duplicates.
std::vector<std::string> BuildPlayOrder(const std::vector<std::string>& sourceImages, int imageSortType);

}  // namespace pelumir
