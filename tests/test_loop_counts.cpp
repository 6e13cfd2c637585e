// Channel counts other than the trim effect's four. The count is fixed per process and sample type
// by the first block, so the stereo case uses only single precision and the oversized case only
// double precision.
#include <gtest/gtest.h>

#include <vector>

#include "tests/ProbeScript.h"
#include "tests/ScriptAdapter.h"
#include "tools/driver/ScriptedHost.h"
#include "tools/support/ChannelBuffers.h"

namespace {

using ProbeAdapter = ScriptAdapter<ProbeScript>;
using vsthost::ChannelBuffers;

TEST(LoopCounts, TwoChannelsTakeTheStereoPath) {
    ProbeAdapter probe(&vsthost::ScriptedHost::Callback, 2);
    ChannelBuffers<float> in(4, 5, 1.5f);
    ChannelBuffers<float> out(4, 5, -1.0f);
    probe.adapter->processReplacing(in.pointers(), out.pointers(), 5);
    ASSERT_EQ(probe.effect->seen.size(), 5u);
    EXPECT_EQ(probe.effect->seen[4][1], 1.5);
    EXPECT_EQ(probe.effect->seen[4][2], 2.0 * probe.effect->seen[3][2] + 2) << "only two channels are read";
    EXPECT_EQ(out[0], std::vector<float>(5, 3.0f));
    EXPECT_EQ(out[1], std::vector<float>(5, 4.0f));
    EXPECT_EQ(out[2], std::vector<float>(5, -1.0f)) << "only two channels are written";
}

TEST(LoopCounts, MoreChannelsThanTheSampleTableHoldsAreBoundedTo64) {
    ProbeAdapter probe(&vsthost::ScriptedHost::Callback, 100);
    ASSERT_EQ(probe.aeffect()->numInputs, 100);
    ChannelBuffers<double> in(100, 2, 0.5);
    ChannelBuffers<double> out(100, 2, -1.0);
    probe.adapter->processDoubleReplacing(in.pointers(), out.pointers(), 2);
    ASSERT_EQ(probe.effect->seen.size(), 2u);
    EXPECT_EQ(out[63], std::vector<double>(2, 2.0 * 0.5 + 63));
    EXPECT_EQ(out[64], std::vector<double>(2, -1.0)) << "channel 64 and up stay untouched";
}

}  // namespace
