// Our split-radix FFT (forward mode, in place) beside FFTW's double-precision complex transform of
// the same size (in place, planned once with FFTW_MEASURE), then the ratio ours/FFTW per size: for
// the kernel that the plug-in picks on this processor, and for the portable kernel that every
// processor runs.
//
// Both transform the same buffer again and again without rescaling; once the values overflow they
// carry on as infinities and NaNs, which SSE and AVX arithmetic handles at full speed.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "bench/FftCases.h"
#include "runtime/TransformTables.h"

namespace {

using bench::FillRandom;
constexpr const std::int64_t* kSizes = bench::kFftSizes;

template <typename Transform>
void TimeOurFft(benchmark::State& state, Transform transform) {
    const auto size = static_cast<std::int32_t>(state.range(0));
    bench::FftData block(2 * static_cast<std::int64_t>(size));
    vormlek::EnsureSpectralTables();
    for (auto _ : state) {
        transform(block.data(), size);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
}

void OurFft(benchmark::State& state) {
    TimeOurFft(state, [](double* block, std::int32_t size) { vormlek::FftBlock(block, size, vormlek::kFftForward); });
}

void OurFftPortable(benchmark::State& state) {
    TimeOurFft(state, [](double* block, std::int32_t size) {
        vormlek::FftBlock(block, size, vormlek::kFftForward, vormlek::FftKernel::kPortable);
    });
}

void Fftw(benchmark::State& state) {
    const auto size = static_cast<int>(state.range(0));
    fftw_complex* block = fftw_alloc_complex(static_cast<std::size_t>(size));
    fftw_plan plan = fftw_plan_dft_1d(size, block, block, FFTW_FORWARD, FFTW_MEASURE);
    FillRandom(&block[0][0], 2 * static_cast<std::int64_t>(size));  // planning overwrote the buffer
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(block);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(block);
}

BENCHMARK(OurFft)->Arg(kSizes[0])->Arg(kSizes[1])->Arg(kSizes[2])->Arg(kSizes[3]);
BENCHMARK(OurFftPortable)->Arg(kSizes[0])->Arg(kSizes[1])->Arg(kSizes[2])->Arg(kSizes[3]);
BENCHMARK(Fftw)->Arg(kSizes[0])->Arg(kSizes[1])->Arg(kSizes[2])->Arg(kSizes[3]);

// Remembers each benchmark's processor time per iteration (the median when repetitions are asked
// for): on a shared machine it is steadier than wall time.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            times[run.run_name.str()] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    // Repetitions run in random order unless the command line says otherwise: on a shared machine a
    // burst of load then falls on all cases alike, not on those that happen to run during it.
    std::string interleaving = "--benchmark_enable_random_interleaving=true";
    std::vector<char*> arguments(argv, argv + argc);
    arguments.insert(arguments.begin() + 1, interleaving.data());
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    bench::PrintFftRatios(reporter.times);
    return 0;
}
