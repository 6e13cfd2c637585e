// In a program of its own, so that the race below really is the first construction in the process.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <numeric>
#include <thread>

#include "runtime/TransformTables.h"
#include "runtime/TVormlek.h"

namespace {

// What a complete set of tables adds up to: every T_N is a permutation of 0 .. N-1, and the last
// twiddle of the largest table is (cos, sin) of 2 pi 4095 / 32768.
bool TablesComplete() {
    for (std::int32_t size = 2; size <= 32768; size *= 2) {
        const auto table = vormlek::Reordering(size);
        const std::int64_t sum = std::accumulate(table.begin(), table.end(), std::int64_t{0});
        if (sum != static_cast<std::int64_t>(size) * (size - 1) / 2) return false;
    }
    const auto last = vormlek::Twiddles(32768);
    return last[last.size() - 2] > 0.7 && last[last.size() - 1] > 0.7 && vormlek::Radix16Constants()[5] > 0.9;
}

TEST(SpectralTableSetUp, TwoFirstConstructionsRacingBuildOnceAndSeeCompleteTables) {
    ASSERT_EQ(vormlek::SpectralTableBuilds(), 0);
    // A spinning start line rather than std::latch, whose wait can miss its wake-up in the Windows
    // builds' C++ library and hang the test.
    std::atomic<int> arrived{0};
    bool complete[2] = {false, false};
    auto construct = [&](int which) {
        arrived.fetch_add(1);
        while (arrived.load() < 2) std::this_thread::yield();
        TVormlek script;
        complete[which] = TablesComplete();
    };
    std::thread first(construct, 0), second(construct, 1);
    first.join();
    second.join();
    EXPECT_EQ(vormlek::SpectralTableBuilds(), 1);
    EXPECT_TRUE(complete[0]);
    EXPECT_TRUE(complete[1]);

    TVormlek later;
    EXPECT_EQ(vormlek::SpectralTableBuilds(), 1);
}

}  // namespace
