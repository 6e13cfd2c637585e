// Parameter checks: every parameter changed within blocks, parameters set from a second thread while
// processing, and a fuzz with extreme and random values.
#include <atomic>
#include <chrono>
#include <cfloat>
#include <iterator>
#include <limits>
#include <string>
#include <thread>

#include "tools/vsthost/ValidateChecks.h"

namespace vsthost::validate {

namespace {

constexpr int kAutomationSlice = 32;

// Normalised values a careless host or a corrupted automation lane may send.
constexpr float kExtremeValues[] = {0.0f,   1.0f,    -0.0f,  std::numeric_limits<float>::denorm_min(),
                                    0.5f,   1.0f - std::numeric_limits<float>::epsilon() / 2,
                                    -std::numeric_limits<float>::denorm_min(),
                                    -1.0f,  2.0f,    -100.0f, 100.0f,
                                    -FLT_MAX, FLT_MAX};
constexpr int kRandomFuzzValues = 16;

}  // namespace

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
    constexpr int kMinBlocks = 400, kBlock = 256;
    constexpr long kMinChanges = 1000;
    // A setParameter that cannot make 1000 changes in this time while audio runs waits for the audio thread.
    const auto changesWithin = std::chrono::duration<double>(20.0 * subject.timeoutFactor);
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
    // Processing starts once the setter runs and goes on until the setter has made its changes during it.
    while (changes.load() == 0) std::this_thread::yield();
    const long before = changes.load();
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(changesWithin);
    ChannelBuffers<float> in(instance->inputs(), kBlock), out(instance->outputs(), kBlock);
    std::optional<std::string> bad;
    int blocks = 0;
    bool late = false;
    while (!bad && (blocks < kMinBlocks || changes.load() - before < kMinChanges)) {
        if (blocks >= kMinBlocks && std::chrono::steady_clock::now() > deadline) {
            late = true;
            break;
        }
        in.fillNoise(random);
        Process(*instance, in.pointers(), out.pointers(), kBlock);
        bad = FindBadSample(out, kBlock);
        ++blocks;
    }
    const long during = changes.load() - before;
    processing = false;
    setter.join();
    if (bad) return Failed("finite, normal output", *bad + " of block " + std::to_string(blocks - 1));
    if (late)
        return Failed("at least " + std::to_string(kMinChanges) + " parameter changes from a second thread within " +
                          Number(changesWithin.count()) + " s of processing",
                      std::to_string(during) + " during " + std::to_string(blocks) +
                          " blocks (setParameter waits while audio is processed)");
    return Passed(std::to_string(during) + " parameter changes from a second thread during " + std::to_string(blocks) +
                  " blocks");
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

}  // namespace vsthost::validate
