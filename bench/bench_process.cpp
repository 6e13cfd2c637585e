// Nanoseconds per frame of the built plug-in's processReplacing and processDoubleReplacing, called
// through its AEffect as a host calls them, beside a reference kernel compiled into this program
// that computes the same outputs in a plain loop. After the run a table gives plugin / reference
// per precision and block size, from the fastest repetition of each case (CPU time).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ChannelBuffers.h"
#include "Plugin.h"
#include "Precision.h"

namespace {

using vsthost::ChannelBuffers;

constexpr int kChannels = 4;
constexpr VstInt32 kBlockSizes[] = {32, 512, 4096};
constexpr float kParameters[kChannels] = {0.3f, 0.45f, 0.6f, 0.85f};  // four different gains

// The plug-in, loaded once, started and set to the four gains; the host supplies time information
// and records nothing, as a host does.
class LoadedPlugin {
public:
    LoadedPlugin() {
        if (!library.load(TRIM_PLUGIN_PATH)) {
            std::fprintf(stderr, "cannot load %s: %s\n", TRIM_PLUGIN_PATH, library.error().c_str());
            std::exit(1);
        }
        host.recording = false;
        info.tempo = 120.0;
        info.timeSigNumerator = 4;
        info.timeSigDenominator = 4;
        info.flags = kVstTransportPlaying | kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid;
        host.timeInfo = &info;
        plugin = std::make_unique<vsthost::Plugin>(host, library.entry());
        if (!plugin->valid()) {
            std::fprintf(stderr, "the plug-in refused to start\n");
            std::exit(1);
        }
        plugin->start(48000.0f, 4096);
        for (int c = 0; c < kChannels; ++c) plugin->setParameter(c, kParameters[c]);
        // The gains exactly as the plug-in uses them: the output of a block of ones.
        ChannelBuffers<double> ones(kChannels, 1, 1.0);
        plugin->processDoubleReplacing(ones.pointers(), ones.pointers(), 1);
        for (int c = 0; c < kChannels; ++c) gains[c] = ones[c][0];
    }

    template <typename Sample>
    void process(Sample** inputs, Sample** outputs, VstInt32 frames) const {
        vsthost::ProcessReplacing(plugin->effect(), inputs, outputs, frames);
    }

    double gains[kChannels] = {};

private:
    vsthost::PluginLibrary library;
    vsthost::ScriptedHost host;
    VstTimeInfo info{};
    std::unique_ptr<vsthost::Plugin> plugin;  // declared last: closed before the library unloads
};

const LoadedPlugin& Loaded() {
    static const LoadedPlugin loaded;
    return loaded;
}

// The reference: each input widened to double, times its channel's gain, a non-finite product
// replaced by 0, narrowed back, and a product too large for the narrower type replaced by 0.
template <typename Sample>
[[gnu::noinline]] void ReferenceTrim(Sample* const* inputs, Sample* const* outputs, VstInt32 frames,
                                     const double* gains) {
    for (int c = 0; c < kChannels; ++c) {
        const Sample* input = inputs[c];
        Sample* output = outputs[c];
        const double gain = gains[c];
        for (VstInt32 j = 0; j < frames; ++j) {
            const double product = static_cast<double>(input[j]) * gain;
            const auto narrowed = static_cast<Sample>(std::isfinite(product) ? product : 0.0);
            output[j] = std::isfinite(narrowed) ? narrowed : Sample(0);
        }
    }
}

// Four input and four output channels of one block, the inputs random audio.
template <typename Sample>
struct Block {
    explicit Block(VstInt32 frames) : in(kChannels, frames), out(kChannels, frames) {
        std::mt19937 random(static_cast<unsigned>(frames));
        std::uniform_real_distribution<double> level(-1.0, 1.0);
        for (int c = 0; c < kChannels; ++c) {
            for (VstInt32 j = 0; j < frames; ++j) in.channel(c)[j] = static_cast<Sample>(level(random));
        }
    }
    ChannelBuffers<Sample> in, out;
};

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
    Block<Sample> block(frames);
    // A reference that computed something else would make the comparison meaningless.
    Block<Sample> check(frames);
    loaded.process(check.in.pointers(), check.out.pointers(), frames);
    ReferenceTrim(block.in.pointers(), block.out.pointers(), frames, loaded.gains);
    for (int c = 0; c < kChannels; ++c) {
        const std::size_t bytes = sizeof(Sample) * static_cast<std::size_t>(frames);
        if (std::memcmp(block.out.channel(c), check.out.channel(c), bytes) != 0) {
            state.SkipWithError("the reference and the plug-in disagree");
            return;
        }
    }
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

    void PrintRatios() const {
        std::printf("\n%-8s %7s %16s %16s %8s\n", "samples", "frames", "plugin ns/frame", "reference", "ratio");
        for (const char* precision : {"float", "double"}) {
            for (VstInt32 frames : kBlockSizes) {
                const std::string suffix = std::string(precision) + "/" + std::to_string(frames);
                const auto plugin = fastest.find("plugin/" + suffix);
                const auto reference = fastest.find("reference/" + suffix);
                if (plugin == fastest.end() || reference == fastest.end()) continue;
                std::printf("%-8s %7d %16.3f %16.3f %8.2f\n", precision, frames, plugin->second, reference->second,
                            plugin->second / reference->second);
            }
        }
    }

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
