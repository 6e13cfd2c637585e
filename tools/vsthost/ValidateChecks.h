// The checks of the validate command and what they share. Each check makes its own instances of the
// plug-in and answers one outcome; the command runs each in a child process (ValidateCommand.cpp,
// which also holds the table of all checks). They are grouped by theme: lifecycle, processing,
// parameters, state, real time and texts, one file each.
#pragma once

#include <cmath>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "tools/support/ChannelBuffers.h"
#include "tools/support/Precision.h"
#include "tools/vsthost/PluginBinary.h"

namespace vsthost::validate {

inline constexpr double kDefaultRate = 44100.0;
inline constexpr int kDefaultBlock = 512;
// What the processing checks run at unless the command is given others.
inline constexpr double kDefaultSampleRates[] = {44100.0, 48000.0, 96000.0};
inline constexpr int kDefaultBlockSizes[] = {1, 32, 64, 512, 1024, 4096};

enum class Status : char { Pass = 'P', Fail = 'F', Skip = 'S' };

// A failure says what was expected and what was seen instead; a pass or a skip only what was seen.
struct Outcome {
    Status status;
    std::string expected;
    std::string seen;
    std::string text() const { return status == Status::Fail ? "expected " + expected + "; seen " + seen : seen; }
};

Outcome Passed(std::string detail);
Outcome Failed(const std::string& expected, const std::string& seen);
Outcome Skipped(std::string why);

std::string Number(double value);  // "%.9g"
std::string Hex(VstInt32 value);
const char* PrecisionName(bool isDouble);

// Everything a check needs to make instances of its own.
struct Subject {
    std::string path;
    unsigned seed;
    double timeoutFactor;  // the command's scale of time limits, for a check that times itself
    std::vector<int> blockSizes;  // what the processing checks run in
};

// An instance opened at the rate and block size, and resumed.
std::unique_ptr<Instance> Started(const PluginBinary& binary, double rate = kDefaultRate, int block = kDefaultBlock);

// One block through the instance in the precision of Sample; the transport moves on.
template <typename Sample>
void Process(Instance& instance, Sample** inputs, Sample** outputs, int frames) {
    ProcessReplacing(instance.plugin().aeffect(), inputs, outputs, frames);
    instance.advance(frames);
}

// The first NaN, infinity or denormal in the first frames of every channel, described for a report.
template <typename Sample>
std::optional<std::string> FindBadSample(const ChannelBuffers<Sample>& buffers, int frames) {
    for (int c = 0; c < buffers.channels(); ++c) {
        const Sample* channel = buffers.channel(c);
        for (int f = 0; f < frames; ++f) {
            const Sample value = channel[f];
            const char* kind = std::isnan(value)                          ? "NaN"
                               : std::isinf(value)                        ? "an infinity"
                               : std::fpclassify(value) == FP_SUBNORMAL   ? "a denormal"
                                                                          : nullptr;
            if (kind != nullptr)
                return std::string(kind) + " at channel " + std::to_string(c) + " frame " + std::to_string(f);
        }
    }
    return std::nullopt;
}

// The first sample where two outputs differ (NaN equal to NaN), described, or nothing.
template <typename Sample>
std::optional<std::string> FirstDifference(const ChannelBuffers<Sample>& first, const ChannelBuffers<Sample>& second,
                                           int channels, int frames) {
    for (int c = 0; c < channels; ++c)
        for (int f = 0; f < frames; ++f) {
            const Sample a = first.channel(c)[f], b = second.channel(c)[f];
            if (!(a == b) && !(std::isnan(a) && std::isnan(b)))
                return "channel " + std::to_string(c) + " frame " + std::to_string(f) + ": " + Number(a) + " and " +
                       Number(b);
        }
    return std::nullopt;
}

// Noise through the instance in blocks; answers the first bad output sample, described.
template <typename Sample>
std::optional<std::string> NoiseThrough(Instance& instance, int block, int totalFrames, std::mt19937& random) {
    ChannelBuffers<Sample> in(instance.inputs(), block), out(instance.outputs(), block);
    for (int done = 0, index = 0; done < totalFrames; done += block, ++index) {
        in.fillNoise(random);
        Process(instance, in.pointers(), out.pointers(), block);
        if (auto bad = FindBadSample(out, block)) return *bad + " of block " + std::to_string(index);
    }
    return std::nullopt;
}

std::vector<float> RandomSettings(int count, std::mt19937& random);
void SetAll(Instance& instance, const std::vector<float>& values);
std::vector<float> GetAll(const Instance& instance);

// Lifecycle: loading, opening and closing, several instances, what an instance reports.
Outcome CheckLoad(const Subject& subject);
Outcome CheckColdOpenClose(const Subject& subject);
Outcome CheckWarmOpenClose(const Subject& subject);
Outcome CheckSeveralInstances(const Subject& subject);
Outcome CheckInfo(const Subject& subject);

// Processing: noise at a sample rate in each of the subject's block sizes, 0-frame blocks, in-place buffers.
Outcome CheckProcessingAt(const Subject& subject, double rate);
Outcome CheckZeroFrames(const Subject& subject);
Outcome CheckInPlace(const Subject& subject);

// Parameters: changed within blocks, from a second thread, and fuzzed.
Outcome CheckSubBlockAutomation(const Subject& subject);
Outcome CheckSecondThread(const Subject& subject);
Outcome CheckFuzz(const Subject& subject);

// State: programs, and the state chunk saved and loaded.
Outcome CheckPrograms(const Subject& subject);
Outcome CheckState(const Subject& subject);

// Real time: heap allocations while processing.
Outcome CheckAllocations(const Subject& subject);

// Texts: every text query answered into a buffer of its published size followed by guard bytes.
Outcome CheckTextBuffers(const Subject& subject);

}  // namespace vsthost::validate
