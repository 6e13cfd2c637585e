// The block loops with a script object of four channels: one block hook per call, one sample hook
// per frame with the frame's inputs in sampleValues, and what the hook left written back out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "tests/ProbeScript.h"
#include "tests/ScriptAdapter.h"
#include "tools/driver/ScriptedHost.h"

namespace {

constexpr int kChannels = 4;

using ProbeAdapter = ScriptAdapter<ProbeScript>;

TEST(FrameLoop, EveryFrameGoesThroughTheSampleHookAsDoubles) {
    ProbeAdapter probe(&vsthost::ScriptedHost::Callback, kChannels);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    float in[kChannels][3] = {{1e-40f, 0.5f, -2.0f}, {nan, 1.0f, 3.0f}, {0.25f, -0.0f, 7.0f}, {8.0f, 9.0f, 10.0f}};
    float out[kChannels][3] = {};
    float* inputs[] = {in[0], in[1], in[2], in[3]};
    float* outputs[] = {out[0], out[1], out[2], out[3]};
    probe.adapter->processReplacing(inputs, outputs, 3);

    EXPECT_EQ(probe.effect->blocks, 1);
    ASSERT_EQ(probe.effect->seen.size(), 3u);
    for (int frame = 0; frame < 3; ++frame) {
        for (int c = 0; c < kChannels; ++c) {
            const double seen = probe.effect->seen[static_cast<std::size_t>(frame)][static_cast<std::size_t>(c)];
            const double sent = static_cast<double>(in[c][frame]);
            // Inputs arrive as they are: a denormal unchanged, a NaN still a NaN.
            EXPECT_EQ(std::memcmp(&seen, &sent, sizeof(double)), 0) << "channel " << c << " frame " << frame;
            if (std::isnan(sent)) {
                EXPECT_TRUE(std::isnan(out[c][frame]));
            } else {
                EXPECT_EQ(out[c][frame], static_cast<float>(2.0 * sent + c));
            }
        }
    }
    EXPECT_EQ(probe.effect->sampleValues[1], 2.0 * 3.0 + 1) << "the last frame stays in the table";
    const auto& seen = probe.effect->seen;
    EXPECT_EQ(seen[2][kChannels], 2.0 * seen[1][kChannels] + kChannels)
        << "entries beyond the count keep what the script left";
}

TEST(FrameLoop, BlocksWithoutFramesRunOnlyTheBlockHook) {
    ProbeAdapter probe(&vsthost::ScriptedHost::Callback, kChannels);
    for (VstInt32 frames : {0, -1, -4096}) {
        probe.adapter->processReplacing(nullptr, nullptr, frames);
        probe.adapter->processDoubleReplacing(nullptr, nullptr, frames);
    }
    EXPECT_EQ(probe.effect->blocks, 6);
    EXPECT_TRUE(probe.effect->seen.empty());
}

TEST(FrameLoop, InputsOfAFrameAreReadBeforeItsOutputsAreWritten) {
    ProbeAdapter probe(&vsthost::ScriptedHost::Callback, kChannels);
    // Channel c writes onto channel c + 1's input, and the last onto the first.
    double buffers[kChannels][2] = {{1, 2}, {3, 4}, {5, 6}, {7, 8}};
    double* inputs[] = {buffers[0], buffers[1], buffers[2], buffers[3]};
    double* outputs[] = {buffers[1], buffers[2], buffers[3], buffers[0]};
    probe.adapter->processDoubleReplacing(inputs, outputs, 2);
    EXPECT_EQ(probe.effect->seen[1][0], 2.0);
    EXPECT_EQ(probe.effect->seen[1][3], 8.0);
    EXPECT_EQ(buffers[1][1], 2.0 * 2.0 + 0);
    EXPECT_EQ(buffers[0][1], 2.0 * 8.0 + 3);
}

TEST(FrameLoop, OutputsSharingABufferEndWithTheLowestChannel) {
    ProbeAdapter probe(&vsthost::ScriptedHost::Callback, kChannels);
    double in[kChannels][1] = {{1}, {2}, {3}, {4}};
    double shared[1] = {};
    double* inputs[] = {in[0], in[1], in[2], in[3]};
    double* outputs[] = {shared, shared, shared, shared};
    probe.adapter->processDoubleReplacing(inputs, outputs, 1);
    EXPECT_EQ(shared[0], 2.0 * 1.0 + 0) << "channels are written from the highest down";
}

TEST(FrameLoop, TheChannelCountIsFixedForTheProcessByTheFirstBlock) {
    ProbeAdapter first(&vsthost::ScriptedHost::Callback, kChannels);
    ProbeAdapter second(&vsthost::ScriptedHost::Callback, 1);
    ASSERT_EQ(second.aeffect()->numInputs, 1);
    std::vector<std::vector<double>> in(kChannels, std::vector<double>(1, 3.0));
    std::vector<std::vector<double>> out(kChannels, std::vector<double>(1, 0.0));
    std::vector<double*> inputs, outputs;
    for (int c = 0; c < kChannels; ++c) {
        inputs.push_back(in[static_cast<std::size_t>(c)].data());
        outputs.push_back(out[static_cast<std::size_t>(c)].data());
    }
    first.adapter->processDoubleReplacing(inputs.data(), outputs.data(), 1);
    second.adapter->processDoubleReplacing(inputs.data(), outputs.data(), 1);
    EXPECT_EQ(out[3][0], 2.0 * 3.0 + 3) << "the second object's one input does not change the count";
}

}  // namespace
