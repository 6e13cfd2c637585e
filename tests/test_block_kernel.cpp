// The trim effect's block kernel against the plain frame loop: two instances, one with the kernel
// and one without, get the same random blocks in the same buffer layouts and must leave the same
// bits in every buffer and in sampleValues.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "tests/ScriptAdapter.h"
#include "tools/driver/ScriptedHost.h"
#include "tools/support/Precision.h"

namespace {

constexpr int kChannels = 4;
constexpr VstInt32 kMaxFrames = 1100;  // crosses the float kernel's internal chunk size several times

// A trim effect as the entry builds it, opened and resumed.
struct Instance : TrimAdapter {
    Instance() : TrimAdapter(&vsthost::ScriptedHost::Callback) {
        adapter->open();
        adapter->resume();
    }
};

// Counts the kernel's calls, so the tests know which path a layout took.
int kernelCalls = 0;
BlockKernels registered;

template <typename Sample>
void CountingKernel(CVormlekSamples& script, Sample* const* inputs, Sample* const* outputs, VstInt32 frames) noexcept {
    ++kernelCalls;
    if constexpr (std::is_same_v<Sample, float>) registered.floats(script, inputs, outputs, frames);
    else registered.doubles(script, inputs, outputs, frames);
}

template <typename Sample>
Sample Awkward(std::mt19937& random) {
    using Limits = std::numeric_limits<Sample>;
    static const Sample pool[] = {Limits::quiet_NaN(), -Limits::quiet_NaN(), Limits::infinity(), -Limits::infinity(),
                                  Limits::denorm_min(), -Limits::denorm_min(), Limits::min() / 3, Sample(1e-40),
                                  Limits::max(), -Limits::max(), Limits::max() / 2, Sample(0), -Sample(0),
                                  Sample(1), Sample(-1)};
    return pool[std::uniform_int_distribution<std::size_t>(0, std::size(pool) - 1)(random)];
}

template <typename Sample>
void FillRandom(std::vector<Sample>& memory, std::mt19937& random) {
    std::uniform_real_distribution<double> ordinary(-2.0, 2.0);
    std::uniform_int_distribution<int> pick(0, 9);
    for (Sample& value : memory) value = pick(random) < 3 ? Awkward<Sample>(random) : Sample(ordinary(random));
}

double RandomGain(std::mt19937& random) {
    static const double pool[] = {0.0, 1.0, -1.0, 0.2511886431509580, 3.9810717055349722, 1e300, 1e-300,
                                  std::numeric_limits<double>::denorm_min(), 2.0};
    return pool[std::uniform_int_distribution<std::size_t>(0, std::size(pool) - 1)(random)];
}

// Where each channel's buffers sit, as sample offsets into one shared block of memory.
struct Layout {
    const char* name;
    int in[kChannels];
    int out[kChannels];
    bool independent;         // whether the kernel may take it
    bool independentShifted;  // the same with every output one sample further on
};

constexpr int kSlot = kMaxFrames + 16;
const Layout kLayouts[] = {
    {"apart", {0, 1, 2, 3}, {4, 5, 6, 7}, true, true},
    {"in place", {0, 1, 2, 3}, {0, 1, 2, 3}, true, false},
    {"partly in place", {0, 1, 2, 3}, {0, 5, 2, 7}, true, false},
    {"one input feeds two channels", {0, 0, 1, 2}, {4, 5, 6, 7}, true, true},
    {"outputs rotated onto inputs", {0, 1, 2, 3}, {1, 2, 3, 0}, false, false},
    {"two outputs share a buffer", {0, 1, 2, 3}, {4, 4, 6, 7}, false, false},
};

template <typename Sample>
std::vector<Sample*> Pointers(std::vector<Sample>& memory, const int (&slots)[kChannels], int shift) {
    std::vector<Sample*> pointers;
    for (int slot : slots) pointers.push_back(memory.data() + slot * kSlot + shift);
    return pointers;
}

template <typename Sample>
void ExpectSameBits(const std::vector<Sample>& expected, const std::vector<Sample>& actual, const char* what) {
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (std::memcmp(&expected[i], &actual[i], sizeof(Sample)) != 0) {
            ADD_FAILURE() << what << ": first difference at sample " << i << ": " << expected[i] << " vs " << actual[i];
            return;
        }
    }
}

class KernelAgainstFrameLoop : public ::testing::Test {
protected:
    void SetUp() override {
        registered = fast.effect->blockKernels;
        ASSERT_EQ(registered.channels, kChannels);
        ASSERT_NE(registered.floats, nullptr);
        ASSERT_NE(registered.doubles, nullptr);
        fast.effect->blockKernels = {kChannels, &CountingKernel<float>, &CountingKernel<double>};
        frameLoop.effect->blockKernels = {};
        kernelCalls = 0;
    }

    // Random blocks through both instances; `shift` offsets every output against its slot, so
    // with 1 an output overlaps its own input by all but one sample.
    template <typename Sample>
    void Compare(int rounds, int outputShift = 0) {
        std::mt19937 random(20240611);
        for (const Layout& layout : kLayouts) {
            SCOPED_TRACE(layout.name);
            const int callsBefore = kernelCalls;
            for (int round = 0; round < rounds; ++round) {
                const double gains[] = {RandomGain(random), RandomGain(random), RandomGain(random), RandomGain(random)};
                for (Instance* instance : {&fast, &frameLoop}) {
                    instance->effect->gain1 = gains[0];
                    instance->effect->gain2 = gains[1];
                    instance->effect->gain3 = gains[2];
                    instance->effect->gain4 = gains[3];
                }
                const auto frames = std::uniform_int_distribution<VstInt32>(1, kMaxFrames)(random);
                std::vector<Sample> fastMemory(8 * kSlot);
                FillRandom(fastMemory, random);
                std::vector<Sample> loopMemory = fastMemory;

                auto fastIn = Pointers(fastMemory, layout.in, 0);
                auto fastOut = Pointers(fastMemory, layout.out, outputShift);
                auto loopIn = Pointers(loopMemory, layout.in, 0);
                auto loopOut = Pointers(loopMemory, layout.out, outputShift);
                vsthost::ProcessReplacing(fast.aeffect(), fastIn.data(), fastOut.data(), frames);
                vsthost::ProcessReplacing(frameLoop.aeffect(), loopIn.data(), loopOut.data(), frames);

                ExpectSameBits(loopMemory, fastMemory, "buffers");
                EXPECT_EQ(std::memcmp(frameLoop.effect->sampleValues.data(), fast.effect->sampleValues.data(),
                                      sizeof(double) * CVormlekSamples::kMaxChannels), 0)
                    << "sampleValues differ after " << frames << " frames";
            }
            const bool kernelTaken = kernelCalls > callsBefore;
            EXPECT_EQ(kernelTaken, outputShift == 0 ? layout.independent : layout.independentShifted);
        }
    }

    Instance fast;
    Instance frameLoop;
};

TEST_F(KernelAgainstFrameLoop, FloatBlocksMatchTheFrameLoopBitForBit) { Compare<float>(60); }

TEST_F(KernelAgainstFrameLoop, DoubleBlocksMatchTheFrameLoopBitForBit) { Compare<double>(60); }

TEST_F(KernelAgainstFrameLoop, OutputsOffsetByOneSampleMatchToo) {
    Compare<float>(10, 1);
    Compare<double>(10, 1);
}

// The layout check is remembered for the buffers of the last block: the same buffers in a longer
// block can overlap where the shorter did not, and must then go through the frame loop.
TEST_F(KernelAgainstFrameLoop, TheSameBuffersInALongerBlockAreCheckedAgain) {
    constexpr int kOutputOffset = 40;
    std::mt19937 random(99);
    std::vector<float> fastMemory(kChannels * kSlot);
    FillRandom(fastMemory, random);
    std::vector<float> loopMemory = fastMemory;
    const int offsets[kChannels] = {0, 1, 2, 3};
    auto fastIn = Pointers(fastMemory, offsets, 0), fastOut = Pointers(fastMemory, offsets, kOutputOffset);
    auto loopIn = Pointers(loopMemory, offsets, 0), loopOut = Pointers(loopMemory, offsets, kOutputOffset);
    const struct {
        VstInt32 frames;
        bool kernel;
    } blocks[] = {{kOutputOffset, true}, {kOutputOffset + 20, false}, {kOutputOffset - 10, true}, {kOutputOffset + 1, false}};
    for (const auto& block : blocks) {
        SCOPED_TRACE(block.frames);
        const int callsBefore = kernelCalls;
        vsthost::ProcessReplacing(fast.aeffect(), fastIn.data(), fastOut.data(), block.frames);
        vsthost::ProcessReplacing(frameLoop.aeffect(), loopIn.data(), loopOut.data(), block.frames);
        EXPECT_EQ(kernelCalls > callsBefore, block.kernel);
        ExpectSameBits(loopMemory, fastMemory, "buffers");
    }
}

TEST_F(KernelAgainstFrameLoop, SliderGainsReachTheKernelAndSampleValuesHoldTheLastFrame) {
    fast.effect->blockKernels = registered;
    fast.adapter->setParameter(2, 0.75f);  // slider 3 at +6 dB
    float in[kChannels][3] = {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {1, 2, -0.5f}};
    float* channels[] = {in[0], in[1], in[2], in[3]};
    fast.adapter->processReplacing(channels, channels, 3);
    const double gain = std::pow(10.0, 6.0 / 20.0);
    EXPECT_EQ(in[2][1], static_cast<float>(2.0 * gain));
    EXPECT_EQ(in[0][2], 3.0f);
    EXPECT_EQ(fast.effect->sampleValues[2], 3.0 * gain);
    EXPECT_EQ(fast.effect->sampleValues[3], -0.5);
}

}  // namespace
