// Processing checks: noise at each sample rate in every block size asked for and both precisions, 0-frame
// blocks, and in-place buffers against separate ones.
#include <algorithm>
#include <string>

#include "tools/vsthost/ValidateChecks.h"

namespace vsthost::validate {

namespace {

constexpr int kFramesPerSetting = 8192;

template <typename Sample>
std::optional<std::string> ZeroFrameProblem(Instance& instance, std::mt19937& random) {
    constexpr Sample kSentinel = Sample(1234.5);
    ChannelBuffers<Sample> in(instance.inputs(), kDefaultBlock), out(instance.outputs(), kDefaultBlock);
    in.fillNoise(random);
    out.fill(kSentinel);
    for (int call = 0; call < 3; ++call) Process(instance, in.pointers(), out.pointers(), 0);
    for (int c = 0; c < out.channels(); ++c)
        for (int f = 0; f < out.frames(); ++f)
            if (out.channel(c)[f] != kSentinel)
                return "output channel " + std::to_string(c) + " frame " + std::to_string(f) + " written (" +
                       PrecisionName(std::is_same_v<Sample, double>) + ")";
    if (auto bad = NoiseThrough<Sample>(instance, kDefaultBlock, kDefaultBlock, random))
        return "after 0-frame calls, " + *bad;
    return std::nullopt;
}

struct InPlaceFinding {
    enum class Kind { kEqual, kInstancesDiffer, kInPlaceDiffers } kind = Kind::kEqual;
    std::string where;
};

// An instance processing in place must give what its twins give with separate buffers. The two twins
// are the control: where they disagree with each other, the plug-in is not deterministic and an
// in-place difference would say nothing.
template <typename Sample>
InPlaceFinding InPlaceProblem(const PluginBinary& binary, std::mt19937& random) {
    constexpr int kBlocks = 32;
    const char* precision = PrecisionName(std::is_same_v<Sample, double>);
    auto separate = Started(binary), twin = Started(binary), inPlace = Started(binary);
    const int inputs = separate->inputs(), outputs = separate->outputs();
    ChannelBuffers<Sample> in(inputs, kDefaultBlock), out(outputs, kDefaultBlock), twinOut(outputs, kDefaultBlock),
        shared(std::max(inputs, outputs), kDefaultBlock);
    for (int block = 0; block < kBlocks; ++block) {
        in.fillNoise(random);
        shared.fill(Sample(0));
        for (int c = 0; c < inputs; ++c) std::copy_n(in.channel(c), kDefaultBlock, shared.channel(c));
        Process(*separate, in.pointers(), out.pointers(), kDefaultBlock);
        Process(*twin, in.pointers(), twinOut.pointers(), kDefaultBlock);
        if (auto difference = FirstDifference(out, twinOut, outputs, kDefaultBlock))
            return {InPlaceFinding::Kind::kInstancesDiffer,
                    "block " + std::to_string(block) + " " + *difference + " (" + precision + ")"};
        Process(*inPlace, shared.pointers(), shared.pointers(), kDefaultBlock);
        if (auto difference = FirstDifference(shared, out, outputs, kDefaultBlock))
            return {InPlaceFinding::Kind::kInPlaceDiffers, "block " + std::to_string(block) + " " + *difference +
                                                               " in place and separate (" + precision + ")"};
    }
    return {};
}

}  // namespace

Outcome CheckProcessingAt(const Subject& subject, double rate) {
    std::mt19937 random(subject.seed);
    const PluginBinary binary(subject.path);
    auto instance = Started(binary, rate, subject.blockSizes.front());
    std::string precisions = "float";
    for (const bool isDouble : {false, true}) {
        if (isDouble && !instance->offersDouble()) continue;
        if (isDouble) precisions += " and double";
        for (const int block : subject.blockSizes) {
            instance->reconfigure(rate, block);
            const int frames = std::max(kFramesPerSetting, 2 * block);
            const auto bad = isDouble ? NoiseThrough<double>(*instance, block, frames, random)
                                      : NoiseThrough<float>(*instance, block, frames, random);
            if (bad)
                return Failed("finite, normal output", *bad + " (block size " + std::to_string(block) + ", " +
                                                           PrecisionName(isDouble) + ")");
        }
    }
    std::string sizes;
    for (const int block : subject.blockSizes) sizes += " " + std::to_string(block);
    return Passed("noise in blocks of" + sizes + ", " + precisions + ": no NaN, infinity or denormal");
}

Outcome CheckZeroFrames(const Subject& subject) {
    std::mt19937 random(subject.seed);
    const PluginBinary binary(subject.path);
    auto instance = Started(binary);
    if (auto problem = ZeroFrameProblem<float>(*instance, random))
        return Failed("0-frame calls to leave the outputs untouched", *problem);
    if (instance->offersDouble())
        if (auto problem = ZeroFrameProblem<double>(*instance, random))
            return Failed("0-frame calls to leave the outputs untouched", *problem);
    return Passed(std::string("outputs untouched, ") + (instance->offersDouble() ? "float and double" : "float"));
}

Outcome CheckInPlace(const Subject& subject) {
    std::mt19937 random(subject.seed);
    const PluginBinary binary(subject.path);
    const bool offersDouble = Instance(binary).offersDouble();
    for (const bool isDouble : {false, true}) {
        if (isDouble && !offersDouble) continue;
        const InPlaceFinding finding =
            isDouble ? InPlaceProblem<double>(binary, random) : InPlaceProblem<float>(binary, random);
        if (finding.kind == InPlaceFinding::Kind::kInstancesDiffer)
            return Skipped("output differs between identical instances with separate buffers, so in place cannot be "
                           "compared: " + finding.where);
        if (finding.kind == InPlaceFinding::Kind::kInPlaceDiffers)
            return Failed("in-place output equal to separate-buffer output", finding.where);
    }
    return Passed(std::string("in-place output equals separate-buffer output bit for bit, ") +
                  (offersDouble ? "float and double" : "float") + "; two separate-buffer instances agree");
}

}  // namespace vsthost::validate
