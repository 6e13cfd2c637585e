// Nanoseconds per frame of the built plug-in's processReplacing and processDoubleReplacing, called
// through its AEffect as a host calls them, beside a reference kernel compiled into this program
// that computes the same outputs in a plain loop (bench/ProcessCases.h). After the run a table gives
// plugin / reference per precision and block size, from the fastest repetition of each case (CPU time).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "bench/ProcessCases.h"

namespace {

using namespace bench;

const LoadedPlugin& Loaded() {
    static const LoadedPlugin loaded(TRIM_PLUGIN_PATH);
    return loaded;
}

void CountFrames(benchmark::State& state, VstInt32 frames) {
    state.SetItemsProcessed(state.iterations() * frames);
    state.counters["frames"] = frames;
}

template <typename Sample>
void PluginProcess(benchmark::State& state) {
    const LoadedPlugin& loaded = Loaded();
    const auto frames = static_cast<VstInt32>(state.range(0));
    Block<Sample> block(frames);
    for (auto _ : state) {
        loaded.process(block.in.pointers(), block.out.pointers(), frames);
        benchmark::ClobberMemory();
    }
    CountFrames(state, frames);
}

template <typename Sample>
void ReferenceProcess(benchmark::State& state) {
    const LoadedPlugin& loaded = Loaded();
    const auto frames = static_cast<VstInt32>(state.range(0));
    if (!ReferenceAgrees<Sample>(loaded, frames)) {
        state.SkipWithError("the reference and the plug-in disagree");
        return;
    }
    Block<Sample> block(frames);
    for (auto _ : state) {
        ReferenceTrim(block.in.pointers(), block.out.pointers(), frames, loaded.gains);
        benchmark::ClobberMemory();
    }
    CountFrames(state, frames);
}

// Console output as usual, plus the fastest CPU ns per frame of every case for the closing table:
// on a shared machine CPU time and the best of several repetitions are the least disturbed.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
            const auto frames = run.counters.find("frames");
            if (frames == run.counters.end()) continue;
            const double nsPerFrame =
                run.cpu_accumulated_time * 1e9 / static_cast<double>(run.iterations) / frames->second.value;
            const std::string name = run.run_name.function_name + "/" + run.run_name.args;
            auto [entry, added] = fastest.emplace(name, nsPerFrame);
            if (!added) entry->second = std::min(entry->second, nsPerFrame);
        }
    }

    void PrintRatios() const { PrintProcessRatios(fastest); }

private:
    std::map<std::string, double> fastest;
};

void Register(const char* name, void (*function)(benchmark::State&)) {
    auto* benchmark = benchmark::RegisterBenchmark(name, function);
    for (VstInt32 frames : kBlockSizes) benchmark->Arg(frames);
    benchmark->Repetitions(5)->ReportAggregatesOnly(false);
}

}  // namespace

int main(int argc, char** argv) {
    Register("plugin/float", PluginProcess<float>);
    Register("reference/float", ReferenceProcess<float>);
    Register("plugin/double", PluginProcess<double>);
    Register("reference/double", ReferenceProcess<double>);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
