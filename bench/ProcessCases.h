// What bench_process times, on every platform: the built plug-in's processReplacing and
// processDoubleReplacing through its AEffect, and a reference kernel compiled into the benchmark
// that computes the same outputs in a plain loop; and the closing table of their ratios.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>

#include "bench/HostedPlugin.h"
#include "tools/support/ChannelBuffers.h"

namespace bench {

using vsthost::ChannelBuffers;

constexpr int kChannels = 4;
constexpr VstInt32 kBlockSizes[] = {32, 512, 4096};
constexpr float kParameters[kChannels] = {0.3f, 0.45f, 0.6f, 0.85f};  // four different gains

// The plug-in, loaded once and set to the four gains.
class LoadedPlugin {
public:
    explicit LoadedPlugin(const char* path) : hosted(path, 4096) {
        for (int c = 0; c < kChannels; ++c) hosted.instance().setParameter(c, kParameters[c]);
        // The gains exactly as the plug-in uses them: the output of a block of ones.
        ChannelBuffers<double> ones(kChannels, 1, 1.0);
        hosted.process(ones.pointers(), ones.pointers(), 1);
        for (int c = 0; c < kChannels; ++c) gains[c] = ones[c][0];
    }

    template <typename Sample>
    void process(Sample** inputs, Sample** outputs, VstInt32 frames) const {
        hosted.process(inputs, outputs, frames);
    }

    double gains[kChannels] = {};

private:
    HostedPlugin hosted;
};

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

// Whether the reference computes what the plug-in computes for a block of this size: a reference
// that computed something else would make the comparison meaningless.
template <typename Sample>
bool ReferenceAgrees(const LoadedPlugin& loaded, VstInt32 frames) {
    Block<Sample> plugin(frames), reference(frames);
    loaded.process(plugin.in.pointers(), plugin.out.pointers(), frames);
    ReferenceTrim(reference.in.pointers(), reference.out.pointers(), frames, loaded.gains);
    for (int c = 0; c < kChannels; ++c) {
        const std::size_t bytes = sizeof(Sample) * static_cast<std::size_t>(frames);
        if (std::memcmp(plugin.out.channel(c), reference.out.channel(c), bytes) != 0) return false;
    }
    return true;
}

// The closing table from the fastest ns per frame of each case, keyed "plugin/float/32",
// "reference/double/4096" and so on.
inline void PrintProcessRatios(const std::map<std::string, double>& fastest) {
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

}  // namespace bench
