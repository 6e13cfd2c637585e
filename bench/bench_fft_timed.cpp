// bench_fft for builds without Google Benchmark and FFTW (the Windows cross builds): our FFT with the
// picked and the portable kernel, timed by bench/RoundRobinTimer.h. FFTW's times per transform, as
// the Linux bench_fft measured them in the same run, may be given as arguments (bench/run-wine.sh
// does); the closing table then has the same ratios as on Linux.
//
//   bench_fft_timed [REPETITIONS [SECONDS_PER_REPETITION [Fftw/N=NANOSECONDS]...]]
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/FftCases.h"
#include "bench/RoundRobinTimer.h"
#include "runtime/TransformTables.h"

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::atoi(argv[1]) : 9;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 0.05;
    vormlek::EnsureSpectralTables();
    std::vector<bench::TimedCase> cases;
    const std::pair<const char*, vormlek::Kernel> kernels[] = {{"OurFft/", vormlek::FastestKernel()},
                                                                {"OurFftPortable/", vormlek::Kernel::kPortable}};
    for (const auto& [name, kernel] : kernels) {
        for (const std::int64_t size : bench::kFftSizes) {
            auto block = std::make_shared<bench::FftData>(2 * size);
            cases.push_back({std::string(name) + std::to_string(size),
                             [block, size, kernel] {
                                 vormlek::FftBlock(block->data(), static_cast<std::int32_t>(size), vormlek::kFftForward,
                                                   kernel);
                             },
                             1.0});
        }
    }
    bench::TimeRoundRobin(cases, repetitions < 1 ? 1 : repetitions, seconds > 0 ? seconds : 0.05);
    std::map<std::string, double> times;
    for (const bench::TimedCase& timed : cases) times[timed.name] = timed.fastestNanosecondsPerItem;
    bool fftw = false;
    for (int i = 3; i < argc; ++i) {
        const std::string given = argv[i];
        const auto equals = given.find('=');
        if (given.rfind("Fftw/", 0) != 0 || equals == std::string::npos) continue;
        times[given.substr(0, equals)] = std::atof(given.c_str() + equals + 1);
        fftw = true;
    }
    if (fftw) bench::PrintFftRatios(times);
    else std::printf("\n(no FFTW times given: no ratios; picked kernel: %s)\n", bench::PickedKernelName());
    return 0;
}
