// Real-time check: no heap allocation while processing, counted by the host's own allocation functions
// (Linux) or through the plug-in module's imports (Windows).
#include <string>

#include "tools/support/AllocationCounter.h"
#include "tools/vsthost/ValidateChecks.h"

namespace vsthost::validate {

Outcome CheckAllocations(const Subject& subject) {
    constexpr int kCalls = 256;
    std::mt19937 random(subject.seed);
    const PluginBinary binary(subject.path);
    const allocations::ModuleAllocations counted(binary.handle());
    if (!counted.whyNotCounted().empty()) return Skipped(counted.whyNotCounted());
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

}  // namespace vsthost::validate
