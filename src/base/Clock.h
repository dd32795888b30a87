#pragma once
// Performance-counter counts in microseconds, split in two so that the product
// cannot overflow however long the program runs.
#include <cstdint>

inline int64_t CountsToUs(int64_t nCounts, int64_t nFrequency) {
    return nCounts / nFrequency * 1000000 + nCounts % nFrequency * 1000000 / nFrequency;
}
