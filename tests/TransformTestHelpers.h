// Helpers of the spectral built-ins' tests: script memory to run them on, random blocks, sizes and
// the error measure against a long-double reference.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "runtime/CVormlekMemory.h"

struct Store : CVormlekMemory {};

inline std::vector<double> RandomDoubles(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> values(count);
    for (double& value : values) value = uniform(generator);
    return values;
}

inline std::vector<std::int32_t> PowersOfTwo(std::int32_t from, std::int32_t to) {
    std::vector<std::int32_t> sizes;
    for (std::int32_t size = from; size <= to; size *= 2) sizes.push_back(size);
    return sizes;
}

// Largest deviation relative to the largest reference magnitude.
template <typename Reference>
double RelativeError(const std::vector<double>& actual, const Reference& reference) {
    long double worst = 0, largest = 0;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        worst = std::max(worst, std::fabs(static_cast<long double>(actual[i]) - reference[i]));
        largest = std::max(largest, std::fabs(static_cast<long double>(reference[i])));
    }
    return static_cast<double>(worst / largest);
}
