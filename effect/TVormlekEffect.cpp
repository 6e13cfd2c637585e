#include "effect/TVormlekEffect.h"

#include <cmath>
#include <type_traits>

#include "runtime/ChannelGain.h"
#include "runtime/Clocks.h"
#include "runtime/HostServices.h"
#include "runtime/Numeric.h"

using vormlek::LoadShared;
using vormlek::SafeStore;
using vormlek::StoreShared;
using vormlek::WallClockSeconds;

namespace {

constexpr const char* kEffectName = "Tolvarnesk_multi-channel_level_trimmer_4x_mono";

double DecibelsToGain(double decibels) noexcept { return SafeStore(std::pow(10.0, decibels / 20.0)); }

}  // namespace

TVormlekEffect::TVormlekEffect() {
    effectName = kEffectName;
    productName = kEffectName;
    programName = kEffectName;
    vendorName = "Tolvarnesk";
    vendorVersion = 1000;
    uniqueId = 0;
    channelCount = kChannels;
    DeclareSlider(1, 0.0, -12.0, 12.0, 0.1, {}, "", "", "level mono 1");
    DeclareSlider(2, 0.0, -12.0, 12.0, 0.1, {}, "", "", "level mono 2");
    DeclareSlider(3, 0.0, -12.0, 12.0, 0.1, {}, "", "", "level mono 3");
    DeclareSlider(4, 0.0, -12.0, 12.0, 0.1, {}, "", "", "level mono 4");
    blockKernels = {kChannels, &TrimBlock<float>, &TrimBlock<double>};
}

// Runs on the audio thread and on the thread that sets parameters: the copies are shared values.
void TVormlekEffect::Prologue() noexcept {
    StoreShared(sampleRate, LoadShared(hostSampleRate));
    StoreShared(inputCount, LoadShared(hostInputCount));
    StoreShared(blockSize, LoadShared(hostBlockSize));
    StoreShared(tempo, LoadShared(hostTempo));
    StoreShared(timeSigNumerator, LoadShared(hostTimeSigNumerator));
    StoreShared(timeSigDenominator, LoadShared(hostTimeSigDenominator));
}

void TVormlekEffect::DoReset() {
    TVormlek::DoReset();
    hostSampleRate = sampleRate = 0.0;
    hostInputCount = inputCount = 0.0;
    hostBlockSize = blockSize = 0.0;
    hostTempo = tempo = 0.0;
    hostTimeSigNumerator = timeSigNumerator = 0.0;
    hostTimeSigDenominator = timeSigDenominator = 0.0;
    gain1 = gain2 = gain3 = gain4 = 0.0;
    displayChanged = lastCheckTime = 0.0;
    lastCheckTick = vormlek::kLongAgoTick;
    latency = reportedLatency = 0.0;
    playState = beatPosition = 0.0;
    serializeCounter = 0.0;
    StringSlot(kFontFaceString) = "Courier New";
}

void TVormlekEffect::DoInit() {
    const double rate = SafeStore(VeST_GetSampleRate(adapter));
    StoreShared(hostSampleRate, rate);
    StoreShared(sampleRate, rate);
    const double inputs = VeST_GetNumInputs(adapter);
    StoreShared(hostInputCount, inputs);
    StoreShared(inputCount, inputs);
    const double block = VeST_GetBlockSize(adapter);
    StoreShared(hostBlockSize, block);
    StoreShared(blockSize, block);
    const double beats = SafeStore(VeST_GetTempo(adapter));
    StoreShared(hostTempo, beats);
    StoreShared(tempo, beats);
    StoreShared(timeSigNumerator, LoadShared(hostTimeSigNumerator));
    StoreShared(timeSigDenominator, LoadShared(hostTimeSigDenominator));
    frameRate = 30.0;
}

void TVormlekEffect::DoSlider() {
    Prologue();
    // Two threads setting different parameters at once each recompute all four gains; deriving
    // each gain this way leaves none of them behind its slider.
    vormlek::StoreDerived(sliderValues[1], gain1, DecibelsToGain);
    vormlek::StoreDerived(sliderValues[2], gain2, DecibelsToGain);
    vormlek::StoreDerived(sliderValues[3], gain3, DecibelsToGain);
    vormlek::StoreDerived(sliderValues[4], gain4, DecibelsToGain);
}

void TVormlekEffect::DoBlock() {
    // The wall clock is read only when the coarse tick says that 0.25 s may have passed since the
    // last check; before that the comparison below could not succeed, so it decides as always.
    if (vormlek::MayHavePassed(lastCheckTick, kDisplayCheckSeconds) &&
        WallClockSeconds() - lastCheckTime > kDisplayCheckSeconds) {
        if (vormlek::IsNonzero(displayChanged)) {
            displayChanged = 0.0;
            VeST_UpdateDisplay(adapter);
        }
        lastCheckTick = vormlek::CoarseTickMilliseconds();
        lastCheckTime = WallClockSeconds();
    }
    if (vormlek::Differ(latency, reportedLatency)) {
        reportedLatency = latency;
        VeST_SetInitialDelay(adapter, vormlek::RoundIndex(latency));
    }
    double timeSigTempo = LoadShared(hostTempo);
    double numerator = LoadShared(hostTimeSigNumerator);
    double denominator = LoadShared(hostTimeSigDenominator);
    if (VeST_GetTimeSignature(adapter, &timeSigTempo, &numerator, &denominator) != 0) {
        StoreShared(hostTempo, SafeStore(timeSigTempo));
        StoreShared(hostTimeSigNumerator, numerator);
        StoreShared(hostTimeSigDenominator, denominator);
    }
    playState = (VeST_IsPlaying(adapter) == 1 ? 1.0 : 0.0) + (VeST_IsRecording(adapter) == 1 ? 4.0 : 0.0);
    beatPosition = SafeStore(VeST_GetPpqPos(adapter));
    Prologue();
}

void TVormlekEffect::DoSample() {
    Prologue();
    sampleValues[0] = SafeStore(sampleValues[0] * LoadShared(gain1));
    sampleValues[1] = SafeStore(sampleValues[1] * LoadShared(gain2));
    sampleValues[2] = SafeStore(sampleValues[2] * LoadShared(gain3));
    sampleValues[3] = SafeStore(sampleValues[3] * LoadShared(gain4));
}

// The gains are read once per block where DoSample reads them per frame; only a slider change
// racing with the block from another thread could tell the difference.
template <typename Sample>
void TVormlekEffect::TrimBlock(CVormlekSamples& script, Sample* const* inputs, Sample* const* outputs,
                               VstInt32 frames) noexcept {
    auto& effect = static_cast<TVormlekEffect&>(script);
    const vormlek::ChannelScaler<Sample> scale = [&effect] {
        if constexpr (std::is_same_v<Sample, float>) return effect.scaleFloats;
        else return effect.scaleDoubles;
    }();
    const double gains[kChannels] = {LoadShared(effect.gain1), LoadShared(effect.gain2), LoadShared(effect.gain3),
                                     LoadShared(effect.gain4)};
    for (int c = 0; c < kChannels; ++c) {
        // Taken before an in-place block overwrites the input: sampleValues keeps the last frame.
        const double lastProduct = SafeStore(static_cast<double>(inputs[c][frames - 1]) * gains[c]);
        scale(inputs[c], outputs[c], frames, gains[c]);
        effect.sampleValues[static_cast<std::size_t>(c)] = lastProduct;
    }
    // The frame loop's DoSample would run the prologue once more; it would copy nothing new, since
    // the host copies change only in DoInit and DoBlock, and DoBlock ended with the prologue.
}

void TVormlekEffect::DoSerialize() {
    // Slider entries 1 to 64, bounded like every loop a script compiler emits.
    serializeCounter = 1.0;
    for (int round = 0; round < 1000000 && !(serializeCounter > 64.0); ++round) {
        SerializeValue(SliderAt(serializeCounter));
        serializeCounter = SafeStore(serializeCounter + 1.0);
    }
}

void TVormlekEffect::DoGfx() {
    // Selects the text font (string 10000, else "verdana", at height 13); there is nothing to draw.
    const std::string& face = StringSlot(kFontFaceString);
    fonts[0] = FontRecord{face.empty() ? std::string("verdana") : face, 13.0, 0};
    lineHeight = 13.0;
}
