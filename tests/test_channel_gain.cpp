// The runtime's one-pass channel gain, in every kernel this processor runs, against the frame loop's
// arithmetic sample by sample: the product in double, safe-stored, narrowed by the float loop's rule.
// Inputs and gains include NaN, infinities, denormals and values whose product leaves the float
// range; blocks of every length up to a few vectors, at every start alignment, apart and in place.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "runtime/CVormlekSamples.h"
#include "runtime/ChannelGain.h"
#include "runtime/Numeric.h"

namespace {

using vormlek::Kernel;

template <typename Sample>
Sample FrameLoopResult(Sample input, double gain) {
    return vormlek::ToHostSample<Sample>(vormlek::SafeStore(static_cast<double>(input) * gain));
}

template <typename Sample>
std::vector<Sample> AwkwardInputs(std::size_t count) {
    using Limits = std::numeric_limits<Sample>;
    const Sample pool[] = {Limits::quiet_NaN(), -Limits::quiet_NaN(), Limits::signaling_NaN(), Limits::infinity(),
                           -Limits::infinity(), Limits::denorm_min(), -Limits::denorm_min(), Limits::min(),
                           Limits::min() / 3, Limits::max(), -Limits::max(), Limits::max() / 3, Limits::max() / 4,
                           Sample(8.6e37), Sample(-8.6e37), Sample(0), -Sample(0), Sample(1), Sample(-1),
                           Sample(1e-40)};
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pool) + 5);
    std::uniform_real_distribution<double> ordinary(-2.0, 2.0);
    std::vector<Sample> values(count);
    for (Sample& value : values) {
        const std::size_t which = pick(random);
        value = which < std::size(pool) ? pool[which] : static_cast<Sample>(ordinary(random));
    }
    return values;
}

const double kGains[] = {0.0, -0.0, 1.0, -1.0, 0.2511886431509580, 3.9810717055349722, 1e300, -1e300, 1e-300,
                         std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN()};

std::vector<Kernel> KernelsHere() {
    std::vector<Kernel> kernels{Kernel::kPortable};
    if (vormlek::KernelSupported(Kernel::kAvx2)) kernels.push_back(Kernel::kAvx2);
    return kernels;
}

template <typename Sample>
void ExpectFrameLoopBits(Kernel kernel, bool inPlace) {
    constexpr std::int32_t kLongest = 70;  // past the widest vector loop and its tails
    constexpr std::size_t kGuard = 8;
    const std::vector<Sample> inputs = AwkwardInputs<Sample>(kLongest + 2 * kGuard);
    const vormlek::ChannelScaler<Sample> scale = vormlek::ChannelScalerFor<Sample>(kernel);
    const Sample marker = Sample(123.25);
    for (const double gain : kGains) {
        for (std::int32_t frames = 0; frames <= kLongest; ++frames) {
            for (std::size_t start = 0; start < 4; ++start) {
                std::vector<Sample> in = inputs;
                std::vector<Sample> separate(inputs.size(), marker);
                std::vector<Sample>& out = inPlace ? in : separate;
                scale(in.data() + start, out.data() + start, frames, gain);
                for (std::size_t i = 0; i < out.size(); ++i) {
                    const bool inside = i >= start && i < start + static_cast<std::size_t>(frames);
                    const Sample expected = inside ? FrameLoopResult(inputs[i], gain) : (inPlace ? inputs[i] : marker);
                    if (std::memcmp(&expected, &out[i], sizeof(Sample)) != 0) {
                        FAIL() << "gain " << gain << ", " << frames << " frames from " << start << ": sample " << i
                               << " of input " << inputs[i] << " is " << out[i] << ", expected " << expected;
                    }
                }
            }
        }
    }
}

TEST(ChannelGain, EveryKernelGivesTheFrameLoopBitsForFloats) {
    for (const Kernel kernel : KernelsHere()) {
        SCOPED_TRACE(kernel == Kernel::kAvx2 ? "AVX2" : "portable");
        ExpectFrameLoopBits<float>(kernel, false);
        ExpectFrameLoopBits<float>(kernel, true);
    }
}

TEST(ChannelGain, EveryKernelGivesTheFrameLoopBitsForDoubles) {
    for (const Kernel kernel : KernelsHere()) {
        SCOPED_TRACE(kernel == Kernel::kAvx2 ? "AVX2" : "portable");
        ExpectFrameLoopBits<double>(kernel, false);
        ExpectFrameLoopBits<double>(kernel, true);
    }
}

TEST(ChannelGain, AnUnsupportedKernelFallsBackToThePortableOne) {
    if (vormlek::KernelSupported(Kernel::kAvx2)) {
        EXPECT_EQ(vormlek::FastestKernel(), Kernel::kAvx2);
        EXPECT_NE(vormlek::ChannelScalerFor<float>(Kernel::kAvx2), vormlek::ChannelScalerFor<float>(Kernel::kPortable));
    } else {
        EXPECT_EQ(vormlek::FastestKernel(), Kernel::kPortable);
        EXPECT_EQ(vormlek::ChannelScalerFor<float>(Kernel::kAvx2), vormlek::ChannelScalerFor<float>(Kernel::kPortable));
        EXPECT_EQ(vormlek::ChannelScalerFor<double>(Kernel::kAvx2), vormlek::ChannelScalerFor<double>(Kernel::kPortable));
    }
}

}  // namespace
