// The trim effect: four independent mono channels, each times its own gain set in dB by a slider.
// It keeps the form a script compiler emits (description and sliders set in the constructor, one
// method per hook, the numeric conventions of runtime/Numeric.h), but no compiler is part of this
// tree: the class is written and edited here by hand.
#pragma once

#include <cstdint>

#include "runtime/ChannelGain.h"
#include "runtime/Clocks.h"
#include "runtime/TVormlek.h"

class TVormlekEffect final : public TVormlek {
public:
    TVormlekEffect();

    void DoSlider() override;
    void DoBlock() override;
    void DoSample() override;
    void DoReset() override;
    void DoInit() override;
    void DoGfx() override;
    void DoSerialize() override;

    static constexpr std::int32_t kFontFaceString = 10000;

    // Host values in pairs: the host copy is what the effect last read from the host, the script
    // copy what the script's own code reads; the prologue refreshes the second from the first.
    double hostSampleRate = 0.0, sampleRate = 0.0;
    double hostInputCount = 0.0, inputCount = 0.0;
    double hostBlockSize = 0.0, blockSize = 0.0;
    double hostTempo = 0.0, tempo = 0.0;
    double hostTimeSigNumerator = 0.0, timeSigNumerator = 0.0;
    double hostTimeSigDenominator = 0.0, timeSigDenominator = 0.0;
    double gain1 = 0.0, gain2 = 0.0, gain3 = 0.0, gain4 = 0.0;
    double displayChanged = 0.0;
    double lastCheckTime = 0.0;
    double latency = 0.0;
    double reportedLatency = 0.0;
    double playState = 0.0;
    double beatPosition = 0.0;
    double serializeCounter = 0.0;

private:
    static constexpr int kChannels = 4;
    static constexpr double kDisplayCheckSeconds = 0.25;

    // The coarse tick taken with lastCheckTime: the display check reads the wall clock only near its deadline.
    std::int64_t lastCheckTick = vormlek::kLongAgoTick;
    // The channel scalers, chosen when the instance is built so that the audio thread never runs
    // the processor check or a first-use guard.
    const vormlek::ChannelScaler<float> scaleFloats = vormlek::ChannelScalerFor<float>(vormlek::FastestKernel());
    const vormlek::ChannelScaler<double> scaleDoubles = vormlek::ChannelScalerFor<double>(vormlek::FastestKernel());

    void Prologue() noexcept;
    // DoSample over a whole block, registered as the block kernel of the sample loops.
    template <typename Sample>
    static void TrimBlock(CVormlekSamples& script, Sample* const* inputs, Sample* const* outputs,
                          VstInt32 frames) noexcept;
};
