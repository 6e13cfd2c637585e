// The sample table and the block loops that move host audio through it: one DoBlock per block,
// then per frame every channel into sampleValues, DoSample, and sampleValues back out.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "runtime/CVormlekSliders.h"
#include "runtime/HostServices.h"

class CVormlekSamples;

namespace vormlek {

// A script's sample value as the host's buffer holds it. Narrowing to float turns a finite value
// beyond the float range into an infinity, which no script computed (the safe-store rule keeps
// those out); it becomes 0 instead. A NaN or infinity the script left passes as it is. Written on
// the bits, so a loop over a block still vectorises.
template <typename Sample>
Sample ToHostSample(double value) noexcept {
    if constexpr (std::is_same_v<Sample, double>) {
        return value;
    } else {
        const float narrowed = static_cast<float>(value);
        const bool overflowed =
            (std::bit_cast<std::uint32_t>(narrowed) & 0x7FFFFFFFu) == 0x7F800000u && !std::isinf(value);
        return overflowed ? 0.0f : narrowed;
    }
}

}  // namespace vormlek

// A whole-block replacement for the frame loop, for a script whose DoSample treats every channel
// on its own. It must leave the outputs and sampleValues exactly as the frame loop would.
template <typename Sample>
using BlockKernel = void (*)(CVormlekSamples& script, Sample* const* inputs, Sample* const* outputs,
                             VstInt32 frames) noexcept;

struct BlockKernels {
    int channels = 0;  // the channel count the kernels were written for
    BlockKernel<float> floats = nullptr;
    BlockKernel<double> doubles = nullptr;
};

class CVormlekSamples : public CVormlekSliders {
public:
    static constexpr int kMaxChannels = 64;

    virtual void DoBlock() {}
    virtual void DoSample() {}

    // Runs one host block. The channel count is fixed per sample type for the whole process on the
    // first call, from the adapter's input count, bounded to the size of sampleValues. Whatever
    // the hooks throw is the caller's to catch.
    template <typename Sample>
    void RunBlock(Sample** inputs, Sample** outputs, VstInt32 frames) {
        static const int channels = std::clamp<VstInt32>(VeST_GetNumInputs(adapter), 0, kMaxChannels);
        DoBlock();
        // A block without frames, or without buffer arrays, processes nothing but still runs DoBlock.
        if (frames <= 0 || inputs == nullptr || outputs == nullptr) return;
        const BlockKernel<Sample> kernel = KernelFor<Sample>(channels);
        if (kernel != nullptr && Independent(inputs, outputs, channels, frames)) {
            kernel(*this, inputs, outputs, frames);
            return;
        }
        if (channels == 2) {
            RunStereo(inputs, outputs, frames);
            return;
        }
        for (VstInt32 frame = 0; frame < frames; ++frame) {
            for (int c = channels - 1; c >= 0; --c) sampleValues[c] = inputs[c][frame];
            DoSample();
            for (int c = channels - 1; c >= 0; --c) outputs[c][frame] = vormlek::ToHostSample<Sample>(sampleValues[c]);
        }
    }

    std::array<double, kMaxChannels> sampleValues{};
    // Registered by a generated script whose sample code allows it; empty means the frame loop only.
    BlockKernels blockKernels;

protected:
    CVormlekSamples() = default;
    ~CVormlekSamples() = default;

private:
    // The last buffer layout found independent, for one sample type. Hosts hand the same buffers
    // block after block, so comparing the addresses saves the check, which is quadratic in
    // channels. A layout independent for some frame count is so for every smaller one.
    struct IndependentLayout {
        static constexpr int kChannels = 8;  // wider layouts are checked every time
        const void* inputs[kChannels] = {};
        const void* outputs[kChannels] = {};
        VstInt32 frames = 0;  // 0: none remembered
    };

    template <typename Sample>
    bool Independent(Sample* const* inputs, Sample* const* outputs, int channels, VstInt32 frames) noexcept {
        if (channels > IndependentLayout::kChannels) return ChannelsIndependent(inputs, outputs, channels, frames);
        IndependentLayout& known = std::is_same_v<Sample, float> ? floatLayout : doubleLayout;
        bool same = frames <= known.frames;
        for (int c = 0; c < channels; ++c) {
            same &= known.inputs[c] == inputs[c];
            same &= known.outputs[c] == outputs[c];
        }
        if (same) return true;
        if (!ChannelsIndependent(inputs, outputs, channels, frames)) return false;
        for (int c = 0; c < channels; ++c) {
            known.inputs[c] = inputs[c];
            known.outputs[c] = outputs[c];
        }
        known.frames = frames;
        return true;
    }

    IndependentLayout floatLayout, doubleLayout;

    template <typename Sample>
    BlockKernel<Sample> KernelFor(int channels) const noexcept {
        if (channels != blockKernels.channels) return nullptr;
        if constexpr (std::is_same_v<Sample, float>) return blockKernels.floats;
        else return blockKernels.doubles;
    }

    template <typename Sample>
    static bool Overlap(const Sample* a, const Sample* b, VstInt32 frames) noexcept {
        const auto first = reinterpret_cast<std::uintptr_t>(a);
        const auto second = reinterpret_cast<std::uintptr_t>(b);
        const auto bytes = static_cast<std::uintptr_t>(frames) * sizeof(Sample);
        return first < second + bytes && second < first + bytes;
    }

    // A kernel works channel by channel, the frame loop frame by frame. They agree exactly when
    // every output shares memory with no buffer of another channel and is either its own input or
    // apart from it.
    template <typename Sample>
    static bool ChannelsIndependent(Sample* const* inputs, Sample* const* outputs, int channels,
                                    VstInt32 frames) noexcept {
        for (int c = 0; c < channels; ++c) {
            if (outputs[c] != inputs[c] && Overlap(outputs[c], inputs[c], frames)) return false;
            for (int other = 0; other < channels; ++other) {
                if (other == c) continue;
                if (Overlap(outputs[c], inputs[other], frames) || Overlap(outputs[c], outputs[other], frames)) {
                    return false;
                }
            }
        }
        return true;
    }

    template <typename Sample>
    void RunStereo(Sample** inputs, Sample** outputs, VstInt32 frames) {
        Sample* const inLeft = inputs[0];
        Sample* const inRight = inputs[1];
        Sample* const outLeft = outputs[0];
        Sample* const outRight = outputs[1];
        for (VstInt32 frame = 0; frame < frames; ++frame) {
            sampleValues[0] = inLeft[frame];
            sampleValues[1] = inRight[frame];
            DoSample();
            outLeft[frame] = vormlek::ToHostSample<Sample>(sampleValues[0]);
            outRight[frame] = vormlek::ToHostSample<Sample>(sampleValues[1]);
        }
    }
};
