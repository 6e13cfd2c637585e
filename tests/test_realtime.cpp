// The audio path of the built plug-in is real-time safe: over thousands of blocks of varying size
// in both precisions, with parameter changes and reads in between, it allocates nothing and asks
// the host for nothing but time information.
#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <random>
#include <vector>

#include "tests/TrimPluginTest.h"
#include "tools/support/AllocationCounter.h"

// Every allocation in the process, the plug-in's included, is counted: by the counter's own
// interposers where it has them, else by a sanitizer, which owns malloc and reports every
// allocation to a hook instead. (GCC 12 ships no header for this part of its interface.)
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, std::size_t),
                                                         void (*onFree)(const volatile void*));
namespace {
void OnMalloc(const volatile void*, std::size_t) { vsthost::allocations::note(); }
void OnFree(const volatile void*) {}
const bool kCountingAvailable = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree) != 0;
}  // namespace
#else
namespace {
const bool kCountingAvailable = vsthost::allocations::available();
}  // namespace
#endif

namespace {

using namespace vsthost;

constexpr int kChannels = 4;
constexpr VstInt32 kMaxFrames = 4096;
constexpr int kBlocks = 3000;

class Realtime : public TrimPluginTest {
protected:
    void SetUp() override {
        TrimPluginTest::SetUp();
        plugin->start();
    }

};

// Everything a block needs, made before counting starts: buffers for eight channels of the largest
// block, and per block its size, its layout and a parameter value.
template <typename Sample>
struct Workload {
    Workload() : memory(8 * kMaxFrames) {
        std::mt19937 random(99);
        std::uniform_real_distribution<double> level(-1.0, 1.0);
        for (Sample& value : memory) value = static_cast<Sample>(level(random));
        std::uniform_int_distribution<VstInt32> size(-2, kMaxFrames);
        std::uniform_real_distribution<float> normalized(0.0f, 1.0f);
        for (int block = 0; block < kBlocks; ++block) {
            frames.push_back(size(random));
            parameters.push_back(normalized(random));
        }
        for (int c = 0; c < kChannels; ++c) {
            inputs[c] = memory.data() + c * kMaxFrames;
            separate[c] = memory.data() + (c + kChannels) * kMaxFrames;
        }
        // The frame loop's case, not the kernel's.
        for (int c = 0; c < kChannels; ++c) rotated[c] = inputs[(c + 1) % kChannels];
    }

    // Outputs for block b: apart, in place, or each on the next channel's input.
    Sample** outputs(int block) {
        switch (block % 3) {
            case 0: return separate;
            case 1: return inputs;
            default: return rotated;
        }
    }

    std::vector<Sample> memory;
    std::vector<VstInt32> frames;
    std::vector<float> parameters;
    Sample* inputs[kChannels] = {};
    Sample* separate[kChannels] = {};
    Sample* rotated[kChannels] = {};
};

TEST_F(Realtime, AudioPathAllocatesNothingAndOnlyAsksForTheTime) {
    if (!kCountingAvailable) GTEST_SKIP() << "allocations can only be counted on glibc or under a sanitizer";

    Workload<float> floats;
    Workload<double> doubles;
    VstTimeInfo info{};
    info.tempo = 120.0;
    info.flags = kVstTransportPlaying | kVstTempoValid;
    // The first block of each precision fixes the process-wide channel count; count what follows.
    plugin->processReplacing(floats.inputs, floats.separate, 16);
    plugin->processDoubleReplacing(doubles.inputs, doubles.separate, 16);
    host.clear();
    ASSERT_GE(host.calls.capacity(), static_cast<std::size_t>(8 * kBlocks)) << "recording must stay in its reserve";

    float parameterSum = 0.0f;
    allocations::start();
    for (int block = 0; block < kBlocks; ++block) {
        host.timeInfo = block < kBlocks / 2 ? nullptr : &info;
        plugin->setParameter(block % kChannels, floats.parameters[static_cast<std::size_t>(block)]);
        parameterSum += plugin->getParameter((block + 1) % kChannels);
        plugin->processReplacing(floats.inputs, floats.outputs(block), floats.frames[static_cast<std::size_t>(block)]);
        plugin->setParameter(block % kChannels, doubles.parameters[static_cast<std::size_t>(block)]);
        plugin->processDoubleReplacing(doubles.inputs, doubles.outputs(block),
                                       doubles.frames[static_cast<std::size_t>(block)]);
    }
    const std::size_t allocated = allocations::stop();

    EXPECT_EQ(allocated, 0u) << "allocations during " << 2 * kBlocks << " blocks";
    EXPECT_GT(parameterSum, 0.0f);
    ASSERT_EQ(host.calls.size(), static_cast<std::size_t>(8 * kBlocks)) << "four time queries per block, nothing more";
    for (const HostCall& call : host.calls) {
        ASSERT_EQ(call.opcode, audioMasterGetTime);
        ASSERT_TRUE(call.value == (kVstTempoValid | kVstTimeSigValid) || call.value == kVstTransportPlaying ||
                    call.value == kVstTransportRecording || call.value == kVstPpqPosValid)
            << "filter " << call.value;
    }
}

TEST_F(Realtime, TheCountSeesThePluginsOwnAllocations) {
    if (!kCountingAvailable) GTEST_SKIP() << "allocations can only be counted on glibc or under a sanitizer";
    // Without this, a count of zero above could mean that the plug-in's allocations go elsewhere.
    allocations::start();
    { Plugin second(host, library.entry()); }
    EXPECT_GT(allocations::stop(), 0u);
}

}  // namespace
