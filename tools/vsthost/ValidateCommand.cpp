#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <thread>

#include "AllocationCounter.h"
#include "ChannelBuffers.h"
#include "Commands.h"
#include "Isolation.h"
#include "Precision.h"

namespace vsthost {

namespace {

constexpr double kSampleRates[] = {44100.0, 48000.0, 96000.0};
constexpr int kBlockSizes[] = {1, 32, 64, 512, 1024, 4096};
constexpr int kFramesPerSetting = 8192;
constexpr double kDefaultRate = 44100.0;
constexpr int kDefaultBlock = 512;
constexpr int kAutomationSlice = 32;
constexpr int kCheckTimeoutSeconds = 300;
constexpr int kMaxProgramsChecked = 128;

// Normalised values a careless host or a corrupted automation lane may send.
constexpr float kExtremeValues[] = {0.0f,   1.0f,    -0.0f,  std::numeric_limits<float>::denorm_min(),
                                    0.5f,   1.0f - std::numeric_limits<float>::epsilon() / 2,
                                    -std::numeric_limits<float>::denorm_min(),
                                    -1.0f,  2.0f,    -100.0f, 100.0f,
                                    -FLT_MAX, FLT_MAX};
constexpr int kRandomFuzzValues = 16;

enum class Status : char { Pass = 'P', Fail = 'F', Skip = 'S' };

struct Outcome {
    Status status;
    std::string detail;
};

Outcome Passed(std::string detail) { return {Status::Pass, std::move(detail)}; }
Outcome Failed(const std::string& expected, const std::string& seen) {
    return {Status::Fail, "expected " + expected + "; seen " + seen};
}
Outcome Skipped(std::string why) { return {Status::Skip, std::move(why)}; }

std::string Number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

std::string Hex(VstInt32 value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

// Everything a check needs to make instances of its own.
struct Subject {
    std::string path;
    unsigned seed;
};

std::unique_ptr<Instance> Started(const PluginBinary& binary, double rate = kDefaultRate, int block = kDefaultBlock) {
    auto instance = std::make_unique<Instance>(binary);
    instance->open(rate, block);
    instance->resume();
    return instance;
}

template <typename Sample>
void Process(Instance& instance, Sample** inputs, Sample** outputs, int frames) {
    ProcessReplacing(instance.plugin().effect(), inputs, outputs, frames);
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

const char* PrecisionName(bool isDouble) { return isDouble ? "double" : "float"; }

std::vector<float> RandomSettings(int count, std::mt19937& random) {
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    std::vector<float> settings(static_cast<std::size_t>(count));
    for (float& setting : settings) setting = value(random);
    return settings;
}

void SetAll(Instance& instance, const std::vector<float>& values) {
    for (std::size_t p = 0; p < values.size(); ++p) instance.plugin().setParameter(static_cast<VstInt32>(p), values[p]);
}

std::vector<float> GetAll(const Instance& instance) {
    std::vector<float> values(static_cast<std::size_t>(instance.fields().numParams));
    for (std::size_t p = 0; p < values.size(); ++p) values[p] = instance.plugin().getParameter(static_cast<VstInt32>(p));
    return values;
}

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
    constexpr int kCycles = 3;
    std::mt19937 random(subject.seed);
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        const PluginBinary binary(subject.path);
        auto instance = Started(binary);
        if (auto bad = NoiseThrough<float>(*instance, kDefaultBlock, kDefaultBlock, random))
            return Failed("finite output after a cold start", *bad + " in cycle " + std::to_string(cycle));
        instance->suspend();
    }
    return Passed(std::to_string(kCycles) + " cycles of load, open, process, close, unload");
}

Outcome CheckWarmOpenClose(const Subject& subject) {
    constexpr int kCycles = 10;
    std::mt19937 random(subject.seed);
    const PluginBinary binary(subject.path);
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        auto instance = Started(binary);
        if (auto bad = NoiseThrough<float>(*instance, kDefaultBlock, kDefaultBlock, random))
            return Failed("finite output after a warm start", *bad + " in cycle " + std::to_string(cycle));
        instance->suspend();
    }
    return Passed(std::to_string(kCycles) + " cycles of open, process, close with the binary loaded");
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
    // Published limits that some hosts enforce by cutting texts; reported, not failed, since hosts differ.
    std::string beyondLimits;
    auto limit = [&](const std::string& what, const std::string& text, std::size_t published) {
        if (text.size() > published)
            beyondLimits += (beyondLimits.empty() ? "" : ", ") + what + " " + std::to_string(text.size()) + " > " +
                            std::to_string(published);
    };
    limit("effect name", plugin.effectName(), kVstMaxEffectNameLen);
    limit("vendor", plugin.vendorString(), kVstMaxVendorStrLen);
    limit("product", plugin.productString(), kVstMaxProductStrLen);
    for (int p = 0; p < fields.numParams; ++p) {
        limit("parameter " + std::to_string(p) + " name", plugin.parameterName(p), kVstMaxParamStrLen);
        limit("parameter " + std::to_string(p) + " label", plugin.parameterLabel(p), kVstMaxParamStrLen);
        limit("parameter " + std::to_string(p) + " display", plugin.parameterDisplay(p), kVstMaxParamStrLen);
    }
    const VstIntPtr vstVersion = plugin.dispatch(effGetVstVersion);
    std::string detail = "counts, entries, flags and normalised values consistent; VST version " + std::to_string(vstVersion);
    if (!beyondLimits.empty()) detail += "; note: texts longer than the published limits: " + beyondLimits;
    return Passed(detail);
}

Outcome CheckPrograms(const Subject& subject) {
    const PluginBinary binary(subject.path);
    Instance instance(binary);
    instance.open(kDefaultRate, kDefaultBlock);
    Plugin& plugin = instance.plugin();
    const int count = std::min(instance.fields().numPrograms, kMaxProgramsChecked);
    if (count == 0) return Passed("no programs");
    std::size_t indexedNames = 0;
    for (int p = 0; p < count; ++p) {
        plugin.dispatch(effSetProgram, 0, p);
        const VstIntPtr current = plugin.dispatch(effGetProgram);
        if (current != p)
            return Failed("effGetProgram to answer " + std::to_string(p) + " after selecting it", std::to_string(current));
        plugin.programName();
        char name[1024] = {};
        if (plugin.dispatch(effGetProgramNameIndexed, p, -1, name) != 0) ++indexedNames;
    }
    plugin.dispatch(effSetProgram, 0, 0);
    return Passed(std::to_string(count) + " programs selected and read back, " + std::to_string(indexedNames) +
                  " named by index");
}

Outcome CheckProcessingAt(const Subject& subject, double rate) {
    std::mt19937 random(subject.seed);
    const PluginBinary binary(subject.path);
    auto instance = Started(binary, rate, kBlockSizes[0]);
    std::string precisions = "float";
    for (const bool isDouble : {false, true}) {
        if (isDouble && !instance->offersDouble()) continue;
        if (isDouble) precisions += " and double";
        for (const int block : kBlockSizes) {
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
    for (const int block : kBlockSizes) sizes += " " + std::to_string(block);
    return Passed("noise in blocks of" + sizes + ", " + precisions + ": no NaN, infinity or denormal");
}

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

// An instance processing in place must give what its twin gives with separate buffers.
template <typename Sample>
std::optional<std::string> InPlaceProblem(const PluginBinary& binary, std::mt19937& random) {
    constexpr int kBlocks = 32;
    auto separate = Started(binary), inPlace = Started(binary);
    const int inputs = separate->inputs(), outputs = separate->outputs();
    ChannelBuffers<Sample> in(inputs, kDefaultBlock), out(outputs, kDefaultBlock),
        shared(std::max(inputs, outputs), kDefaultBlock);
    for (int block = 0; block < kBlocks; ++block) {
        in.fillNoise(random);
        shared.fill(Sample(0));
        for (int c = 0; c < inputs; ++c) std::copy_n(in.channel(c), kDefaultBlock, shared.channel(c));
        Process(*separate, in.pointers(), out.pointers(), kDefaultBlock);
        Process(*inPlace, shared.pointers(), shared.pointers(), kDefaultBlock);
        for (int c = 0; c < outputs; ++c)
            for (int f = 0; f < kDefaultBlock; ++f)
                if (!(shared.channel(c)[f] == out.channel(c)[f]) &&
                    !(std::isnan(shared.channel(c)[f]) && std::isnan(out.channel(c)[f])))
                    return "block " + std::to_string(block) + " channel " + std::to_string(c) + " frame " +
                           std::to_string(f) + ": " + Number(shared.channel(c)[f]) + " in place, " +
                           Number(out.channel(c)[f]) + " separate (" + PrecisionName(std::is_same_v<Sample, double>) + ")";
    }
    return std::nullopt;
}

Outcome CheckInPlace(const Subject& subject) {
    std::mt19937 random(subject.seed);
    const PluginBinary binary(subject.path);
    if (auto problem = InPlaceProblem<float>(binary, random))
        return Failed("in-place output equal to separate-buffer output", *problem);
    const bool offersDouble = Instance(binary).offersDouble();
    if (offersDouble)
        if (auto problem = InPlaceProblem<double>(binary, random))
            return Failed("in-place output equal to separate-buffer output", *problem);
    return Passed(std::string("in-place output equals separate-buffer output bit for bit, ") +
                  (offersDouble ? "float and double" : "float"));
}

Outcome CheckSubBlockAutomation(const Subject& subject) {
    constexpr int kBlocks = 64;
    std::mt19937 random(subject.seed);
    const PluginBinary binary(subject.path);
    auto instance = Started(binary);
    const int count = instance->fields().numParams;
    if (count == 0) return Skipped("the plug-in has no parameters");
    ChannelBuffers<float> in(instance->inputs(), kDefaultBlock), out(instance->outputs(), kDefaultBlock);
    std::vector<float*> inSlice(static_cast<std::size_t>(instance->inputs()) + 1),
        outSlice(static_cast<std::size_t>(instance->outputs()) + 1);
    for (int block = 0; block < kBlocks; ++block) {
        in.fillNoise(random);
        for (int start = 0; start < kDefaultBlock; start += kAutomationSlice) {
            SetAll(*instance, RandomSettings(count, random));
            for (int c = 0; c < instance->inputs(); ++c) inSlice[static_cast<std::size_t>(c)] = in.channel(c) + start;
            for (int c = 0; c < instance->outputs(); ++c) outSlice[static_cast<std::size_t>(c)] = out.channel(c) + start;
            Process(*instance, inSlice.data(), outSlice.data(), kAutomationSlice);
        }
        if (auto bad = FindBadSample(out, kDefaultBlock))
            return Failed("finite, normal output", *bad + " of block " + std::to_string(block));
    }
    return Passed(std::to_string(kBlocks) + " blocks of " + std::to_string(kDefaultBlock) + " frames, every parameter " +
                  "changed every " + std::to_string(kAutomationSlice) + " frames");
}

Outcome CheckSecondThread(const Subject& subject) {
    constexpr int kMinBlocks = 400, kMaxBlocks = 100000, kBlock = 256;
    constexpr long kMinChanges = 1000;
    std::mt19937 random(subject.seed);
    const PluginBinary binary(subject.path);
    auto instance = Started(binary);
    const int count = instance->fields().numParams;
    if (count == 0) return Skipped("the plug-in has no parameters");
    std::atomic<bool> processing{true};
    std::atomic<long> changes{0};
    std::thread setter([&, seed = subject.seed + 1] {
        std::mt19937 own(seed);
        std::uniform_int_distribution<int> index(0, count - 1);
        std::uniform_real_distribution<float> value(0.0f, 1.0f);
        while (processing.load(std::memory_order_relaxed)) {
            const int p = index(own);
            instance->plugin().setParameter(p, value(own));
            instance->plugin().getParameter(p);
            changes.fetch_add(1, std::memory_order_relaxed);
        }
    });
    // Processing starts once the setter runs and goes on until both have done a fair share together.
    while (changes.load() == 0) std::this_thread::yield();
    const long before = changes.load();
    ChannelBuffers<float> in(instance->inputs(), kBlock), out(instance->outputs(), kBlock);
    std::optional<std::string> bad;
    int blocks = 0;
    while (!bad && blocks < kMaxBlocks && (blocks < kMinBlocks || changes.load() - before < kMinChanges)) {
        in.fillNoise(random);
        Process(*instance, in.pointers(), out.pointers(), kBlock);
        bad = FindBadSample(out, kBlock);
        ++blocks;
    }
    const long during = changes.load() - before;
    processing = false;
    setter.join();
    if (bad) return Failed("finite, normal output", *bad + " of block " + std::to_string(blocks - 1));
    return Passed(std::to_string(during) + " parameter changes from a second thread during " + std::to_string(blocks) +
                  " blocks");
}

std::string FirstDifference(const std::vector<std::uint8_t>& expected, const std::vector<std::uint8_t>& seen) {
    if (expected.size() != seen.size())
        return std::to_string(seen.size()) + " bytes instead of " + std::to_string(expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        if (expected[i] != seen[i]) return "a difference at byte " + std::to_string(i) + " of " + std::to_string(expected.size());
    return "no difference";
}

Outcome CheckState(const Subject& subject) {
    std::mt19937 random(subject.seed);
    const PluginBinary binary(subject.path);
    auto instance = Started(binary);
    if ((instance->fields().flags & effFlagsProgramChunks) == 0)
        return Skipped("the plug-in does not keep its state in chunks (flag ProgramChunks clear)");
    const int count = instance->fields().numParams;
    ChannelBuffers<float> in(instance->inputs(), kDefaultBlock), out(instance->outputs(), kDefaultBlock);
    SetAll(*instance, RandomSettings(count, random));
    Process(*instance, in.pointers(), out.pointers(), kDefaultBlock);
    const std::vector<float> saved = GetAll(*instance);
    const std::vector<std::uint8_t> chunk = instance->plugin().getChunk();
    if (chunk.empty()) return Failed("a state chunk, since the flag ProgramChunks is set", "none (0 bytes)");
    SetAll(*instance, RandomSettings(count, random));
    instance->plugin().setChunk(chunk);
    // Some plug-ins apply a loaded state on their next processing call, as hosts give them one.
    Process(*instance, in.pointers(), out.pointers(), kDefaultBlock);
    const std::vector<float> loaded = GetAll(*instance);
    std::vector<int> differing;
    for (int p = 0; p < count; ++p)
        if (loaded[static_cast<std::size_t>(p)] != saved[static_cast<std::size_t>(p)]) differing.push_back(p);
    if (!differing.empty()) {
        const auto first = static_cast<std::size_t>(differing.front());
        return Failed("every parameter as saved after loading the saved state",
                      "parameter " + instance->parameterTitle(differing.front()) + " = " + Number(loaded[first]) +
                          " instead of " + Number(saved[first]) + " (" + std::to_string(differing.size()) + " of " +
                          std::to_string(count) + " parameters differ)");
    }
    const std::vector<std::uint8_t> again = instance->plugin().getChunk();
    if (again != chunk) return Failed("a second save equal to the first", FirstDifference(chunk, again));
    return Passed("save, scramble " + std::to_string(count) + " parameters, load: parameters and a second save (" +
                  std::to_string(chunk.size()) + " bytes) identical");
}

Outcome CheckAllocations(const Subject& subject) {
    constexpr int kCalls = 256;
    if (!allocations::available())
        return Skipped("heap allocations cannot be counted in this build (a sanitizer owns the allocator)");
    std::mt19937 random(subject.seed);
    const PluginBinary binary(subject.path);
    auto instance = Started(binary);
    const int count = instance->fields().numParams;
    ChannelBuffers<float> in(instance->inputs(), kDefaultBlock), out(instance->outputs(), kDefaultBlock);
    ChannelBuffers<double> inDouble(instance->inputs(), kDefaultBlock), outDouble(instance->outputs(), kDefaultBlock);
    in.fillNoise(random);
    inDouble.fillNoise(random);
    std::uniform_int_distribution<int> frames(1, kDefaultBlock);
    std::vector<int> sizes(kCalls);
    for (int& size : sizes) size = frames(random);
    const bool offersDouble = instance->offersDouble();
    // A first call of each kind may set things up; hosts count from the second block on.
    Process(*instance, in.pointers(), out.pointers(), kDefaultBlock);
    if (offersDouble) Process(*instance, inDouble.pointers(), outDouble.pointers(), kDefaultBlock);
    std::size_t seen = 0;
    int calls = 0;
    for (int call = 0; call < kCalls; ++call) {
        if (count > 0) instance->plugin().setParameter(call % count, std::uniform_real_distribution<float>(0.f, 1.f)(random));
        allocations::start();
        Process(*instance, in.pointers(), out.pointers(), sizes[static_cast<std::size_t>(call)]);
        if (offersDouble) Process(*instance, inDouble.pointers(), outDouble.pointers(), sizes[static_cast<std::size_t>(call)]);
        seen += allocations::stop();
        calls += offersDouble ? 2 : 1;
    }
    if (seen != 0)
        return Failed("no heap allocation while processing", std::to_string(seen) + " in " + std::to_string(calls) + " calls");
    return Passed("none in " + std::to_string(calls) + " processing calls of 1 to " + std::to_string(kDefaultBlock) +
                  " frames, parameters changed between them");
}

Outcome CheckFuzz(const Subject& subject) {
    constexpr int kBlock = 64, kRecoveryBlocks = 4;
    std::mt19937 random(subject.seed);
    const PluginBinary binary(subject.path);
    auto instance = Started(binary);
    Plugin& plugin = instance->plugin();
    const int count = instance->fields().numParams;
    if (count == 0) return Skipped("the plug-in has no parameters");
    ChannelBuffers<float> in(instance->inputs(), kBlock), out(instance->outputs(), kBlock);
    std::uniform_real_distribution<float> wide(-0.5f, 1.5f);
    std::string outsideNotes;
    int values = 0;
    for (int p = 0; p < count; ++p) {
        const float initial = plugin.getParameter(p);
        std::vector<float> tried(std::begin(kExtremeValues), std::end(kExtremeValues));
        for (int i = 0; i < kRandomFuzzValues; ++i) tried.push_back(wide(random));
        for (const float value : tried) {
            ++values;
            plugin.setParameter(p, value);
            const float answer = plugin.getParameter(p);
            plugin.parameterDisplay(p);
            in.fillNoise(random);
            Process(*instance, in.pointers(), out.pointers(), kBlock);
            const auto bad = FindBadSample(out, kBlock);
            const std::string setting = "parameter " + instance->parameterTitle(p) + " set to " + Number(value);
            const bool inside = value >= 0.0f && value <= 1.0f;
            if (std::isnan(answer)) return Failed("getParameter to answer a number", "NaN after " + setting);
            if (inside && !(answer >= 0.0f && answer <= 1.0f))
                return Failed("getParameter in 0..1 after a value in 0..1", Number(answer) + " after " + setting);
            if (inside && bad) return Failed("finite, normal output", *bad + " after " + setting);
            if (!inside && bad && outsideNotes.empty()) outsideNotes = *bad + " after " + setting;
        }
        plugin.setParameter(p, initial);
        for (int block = 0; block < kRecoveryBlocks; ++block) {
            in.fillNoise(random);
            Process(*instance, in.pointers(), out.pointers(), kBlock);
        }
        if (auto bad = FindBadSample(out, kBlock))
            return Failed("finite output once parameter " + instance->parameterTitle(p) + " is back at " + Number(initial),
                          *bad);
    }
    std::string detail = std::to_string(values) + " values (" + std::to_string(std::size(kExtremeValues)) +
                         " extreme and " + std::to_string(kRandomFuzzValues) + " random in -0.5..1.5 per parameter)";
    if (!outsideNotes.empty()) detail += "; note: outside 0..1 the output is not clean: " + outsideNotes;
    return Passed(detail);
}

struct Check {
    std::string name;
    std::function<Outcome(const Subject&)> run;
};

std::vector<Check> Battery() {
    std::vector<Check> checks = {
        {"open and close, cold", CheckColdOpenClose},
        {"open and close, warm", CheckWarmOpenClose},
        {"several instances at once", CheckSeveralInstances},
        {"info", CheckInfo},
        {"programs", CheckPrograms},
    };
    for (const double rate : kSampleRates) {
        checks.push_back({"processing at " + Number(rate) + " Hz",
                          [rate](const Subject& subject) { return CheckProcessingAt(subject, rate); }});
    }
    const std::vector<Check> rest = {
        {"0-frame blocks", CheckZeroFrames},
        {"in-place buffers", CheckInPlace},
        {"sub-block automation", CheckSubBlockAutomation},
        {"parameters from a second thread", CheckSecondThread},
        {"state save and load", CheckState},
        {"heap allocations during processing", CheckAllocations},
        {"parameter fuzz", CheckFuzz},
    };
    checks.insert(checks.end(), rest.begin(), rest.end());
    return checks;
}

// Runs one check in a child process; a crash or a hang fails the check.
Outcome RunCheck(const Check& check, const Subject& subject) {
    const IsolatedResult result = RunIsolated(
        [&] {
            try {
                const Outcome outcome = check.run(subject);
                return static_cast<char>(outcome.status) + outcome.detail;
            } catch (const HostError& error) {
                return static_cast<char>(Status::Fail) + std::string("expected the check to run; seen ") + error.what();
            }
        },
        kCheckTimeoutSeconds);
    if (!result.completed || result.text.empty()) return Failed("the check to finish", result.text);
    return {static_cast<Status>(result.text.front()), result.text.substr(1)};
}

void PrintLine(const std::string& name, const Outcome& outcome) {
    const char* word = outcome.status == Status::Pass ? "PASS" : outcome.status == Status::Fail ? "FAIL" : "SKIP";
    std::printf("%s  %-36s %s\n", word, name.c_str(), outcome.detail.c_str());
    std::fflush(stdout);
}

}  // namespace

int RunValidate(const ValidateOptions& options) {
    const Subject subject{options.plugin, options.seed};
    std::printf("validating %s (seed %u)\n", options.plugin.c_str(), options.seed);
    const Check load{"load and instantiate", CheckLoad};
    const Outcome loaded = RunCheck(load, subject);
    PrintLine(load.name, loaded);
    if (loaded.status != Status::Pass) {
        std::printf("the other checks need an instance: stopped\n");
        return 1;
    }
    int passed = 1, failed = 0, skipped = 0;
    for (const Check& check : Battery()) {
        const Outcome outcome = RunCheck(check, subject);
        PrintLine(check.name, outcome);
        (outcome.status == Status::Pass ? passed : outcome.status == Status::Fail ? failed : skipped) += 1;
    }
    std::printf("%d checks: %d passed, %d failed, %d skipped\n", passed + failed + skipped, passed, failed, skipped);
    return failed == 0 ? 0 : 1;
}

}  // namespace vsthost
