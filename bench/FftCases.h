// What bench_fft times, on every platform: the runtime's FFT (forward mode, in place) at four sizes,
// with the kernel it picks and with the portable one; and the closing table of ours / FFTW.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "runtime/Transforms.h"

namespace bench {

constexpr std::int64_t kFftSizes[] = {256, 1024, 4096, 32768};

inline void FillRandom(double* values, std::int64_t count) {
    std::mt19937 generator(42);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (std::int64_t i = 0; i < count; ++i) values[i] = uniform(generator);
}

// count random values in [-1, 1) starting a cache line, as a run of the script's memory at a multiple
// of 8 does (and as FFTW's own allocation aligns its buffers): where a plain heap block lands varies
// from run to run, and so would the time of vector loads that straddle two lines.
class FftData {
public:
    explicit FftData(std::int64_t count) : storage(static_cast<std::size_t>(count) + 8) {
        void* start = storage.data();
        std::size_t space = storage.size() * sizeof(double);
        first = static_cast<double*>(std::align(64, static_cast<std::size_t>(count) * sizeof(double), start, space));
        FillRandom(first, count);
    }
    double* data() { return first; }

private:
    std::vector<double> storage;
    double* first;
};

inline const char* PickedKernelName() {
    return vormlek::FastestKernel() == vormlek::Kernel::kAvx2 ? "AVX2" : "portable";
}

// times holds nanoseconds per transform keyed "OurFft/N", "OurFftPortable/N" and "Fftw/N"; FFTW's
// may come from another program of the same run (see bench/run-wine.sh).
inline void PrintFftRatios(const std::map<std::string, double>& times) {
    std::printf("\nours/FFTW, time per forward transform (picked kernel: %s):\n", PickedKernelName());
    std::printf("%7s %8s %9s\n", "N", "picked", "portable");
    auto ratio = [&](const std::string& ours, std::int64_t size) {
        const auto mine = times.find(ours + "/" + std::to_string(size));
        const auto fftw = times.find("Fftw/" + std::to_string(size));
        return mine == times.end() || fftw == times.end() ? 0.0 : mine->second / fftw->second;
    };
    for (std::int64_t size : kFftSizes) {
        std::printf("%7lld %8.2f %9.2f\n", static_cast<long long>(size), ratio("OurFft", size),
                    ratio("OurFftPortable", size));
    }
}

}  // namespace bench
