// Lifecycle checks: loading, opening and closing cold and warm, several instances at once, and what
// an instance reports about itself (its texts: ValidateTexts.cpp).
#include <string>

#include "tools/vsthost/ValidateChecks.h"

namespace vsthost::validate {

namespace {

enum class Start { kCold, kWarm };

// Cycles of start, noise, suspend and close. A cold cycle loads the binary afresh each time; warm
// cycles share one loaded binary.
Outcome OpenCloseCycles(const Subject& subject, Start start, int cycles, const std::string& cycleText) {
    std::mt19937 random(subject.seed);
    std::optional<PluginBinary> shared;
    if (start == Start::kWarm) shared.emplace(subject.path);
    for (int cycle = 0; cycle < cycles; ++cycle) {
        std::optional<PluginBinary> own;
        if (start == Start::kCold) own.emplace(subject.path);
        auto instance = Started(own ? *own : *shared);
        if (auto bad = NoiseThrough<float>(*instance, kDefaultBlock, kDefaultBlock, random))
            return Failed(std::string("finite output after a ") + (start == Start::kCold ? "cold" : "warm") + " start",
                          *bad + " in cycle " + std::to_string(cycle));
        instance->suspend();
    }
    return Passed(std::to_string(cycles) + " cycles of " + cycleText);
}

}  // namespace

Outcome CheckLoad(const Subject& subject) {
    const PluginBinary binary(subject.path);
    Instance instance(binary);
    const AEffect& fields = instance.fields();
    return Passed("entry " + binary.entryName() + ", '" + instance.plugin().effectName() + "', " +
                  std::to_string(fields.numInputs) + " in / " + std::to_string(fields.numOutputs) + " out, " +
                  std::to_string(fields.numParams) + " parameters, " + std::to_string(fields.numPrograms) +
                  " programs, flags " + Hex(fields.flags));
}

Outcome CheckColdOpenClose(const Subject& subject) {
    return OpenCloseCycles(subject, Start::kCold, 3, "load, open, process, close, unload");
}

Outcome CheckWarmOpenClose(const Subject& subject) {
    return OpenCloseCycles(subject, Start::kWarm, 10, "open, process, close with the binary loaded");
}

// Two instances with equal settings must not be disturbed by a third with other settings between them.
Outcome CheckSeveralInstances(const Subject& subject) {
    constexpr int kBlocks = 64, kBlock = 256;
    std::mt19937 random(subject.seed);
    const PluginBinary binary(subject.path);
    auto first = Started(binary), other = Started(binary), twin = Started(binary);
    SetAll(*other, RandomSettings(other->fields().numParams, random));
    ChannelBuffers<float> in(first->inputs(), kBlock), outFirst(first->outputs(), kBlock),
        outOther(first->outputs(), kBlock), outTwin(first->outputs(), kBlock);
    for (int block = 0; block < kBlocks; ++block) {
        in.fillNoise(random);
        Process(*first, in.pointers(), outFirst.pointers(), kBlock);
        Process(*other, in.pointers(), outOther.pointers(), kBlock);
        Process(*twin, in.pointers(), outTwin.pointers(), kBlock);
        if (auto bad = FindBadSample(outOther, kBlock)) return Failed("finite output", *bad);
        if (!(outFirst == outTwin)) {
            return Failed("two instances with equal settings and input to give equal output",
                          "a difference in block " + std::to_string(block) +
                              " while a third instance with other settings ran between them");
        }
    }
    return Passed("3 instances processing interleaved; the two with equal settings agree bit for bit");
}

Outcome CheckInfo(const Subject& subject) {
    const PluginBinary binary(subject.path);
    Instance instance(binary);
    instance.open(kDefaultRate, kDefaultBlock);
    const AEffect& fields = instance.fields();
    const Plugin& plugin = instance.plugin();
    if (fields.numInputs < 0 || fields.numOutputs < 0 || fields.numParams < 0 || fields.numPrograms < 0)
        return Failed("no negative counts", "inputs " + std::to_string(fields.numInputs) + ", outputs " +
                                               std::to_string(fields.numOutputs) + ", parameters " +
                                               std::to_string(fields.numParams) + ", programs " +
                                               std::to_string(fields.numPrograms));
    if (fields.processReplacing == nullptr || (fields.flags & effFlagsCanReplacing) == 0)
        return Failed("processReplacing and the flag CanReplacing", "flags " + std::to_string(fields.flags) +
                                                                        (fields.processReplacing ? "" : ", no entry"));
    if ((fields.flags & effFlagsCanDoubleReplacing) != 0 && fields.processDoubleReplacing == nullptr)
        return Failed("processDoubleReplacing, since the flag CanDoubleReplacing is set", "a null entry");
    for (int p = 0; p < fields.numParams; ++p) {
        const float value = plugin.getParameter(p);
        if (!(value >= 0.0f && value <= 1.0f))
            return Failed("normalised values in 0..1", "parameter " + instance.parameterTitle(p) + " = " + Number(value));
    }
    const VstIntPtr vstVersion = plugin.dispatch(effGetVstVersion);
    return Passed("counts, entries, flags and normalised values consistent; VST version " + std::to_string(vstVersion));
}

}  // namespace vsthost::validate
