// The sample table and the block loops that move host audio through it: one DoBlock per block,
// then per frame every channel into sampleValues, DoSample, and sampleValues back out.
#pragma once

#include <algorithm>
#include <array>

#include "runtime/CVormlekSliders.h"
#include "shell/HostServices.h"

class CVormlekSamples : public CVormlekSliders {
public:
    static constexpr int kMaxChannels = 64;

    virtual void DoBlock() {}
    virtual void DoSample() {}

    // Runs one host block. The channel count is fixed per sample type for the whole process on the
    // first call, from the adapter's input count, bounded to the size of sampleValues.
    template <typename Sample>
    void RunBlock(Sample** inputs, Sample** outputs, VstInt32 frames) {
        static const int channels = std::clamp<VstInt32>(VeST_GetNumInputs(adapter), 0, kMaxChannels);
        DoBlock();
        if (channels == 2) {
            RunStereo(inputs, outputs, frames);
            return;
        }
        for (VstInt32 frame = 0; frame < frames; ++frame) {
            for (int c = channels - 1; c >= 0; --c) sampleValues[c] = inputs[c][frame];
            DoSample();
            for (int c = channels - 1; c >= 0; --c) outputs[c][frame] = static_cast<Sample>(sampleValues[c]);
        }
    }

    std::array<double, kMaxChannels> sampleValues{};

protected:
    CVormlekSamples() = default;
    ~CVormlekSamples() = default;

private:
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
            outLeft[frame] = static_cast<Sample>(sampleValues[0]);
            outRight[frame] = static_cast<Sample>(sampleValues[1]);
        }
    }
};
