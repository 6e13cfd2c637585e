// The block hook's display notification: with displayChanged set, the host hears
// audioMasterUpdateDisplay at the first block and then again only once more than 0.25 s of wall
// clock have passed since the last check, whatever the coarse clock in front of it says.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/ScriptAdapter.h"
#include "tools/driver/ScriptedHost.h"

namespace {

double WallClockNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

struct Instance : TrimAdapter {
    Instance() : TrimAdapter(&vsthost::ScriptedHost::Callback) {
        host.adopt(aeffect());
        adapter->open();
        adapter->resume();
    }
    // One block of 8 frames; answers whether it asked the host to update its display.
    bool BlockUpdatesDisplay() {
        host.clear();
        float buffer[4][8] = {};
        float* channels[] = {buffer[0], buffer[1], buffer[2], buffer[3]};
        adapter->processReplacing(channels, channels, 8);
        return host.count(audioMasterUpdateDisplay) == 1;
    }
    vsthost::ScriptedHost host;
};

TEST(DisplayCheck, NotifiesAtMostOnceInAQuarterSecondAndOnlyWhenChanged) {
    Instance instance;
    TVormlekEffect& effect = *instance.effect;
    EXPECT_FALSE(instance.BlockUpdatesDisplay()) << "nothing changed: no notification";
    EXPECT_NEAR(effect.lastCheckTime, WallClockNow(), 1.0) << "the first block checks and keeps the wall clock";

    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    effect.displayChanged = 1.0;
    const double before = WallClockNow();
    EXPECT_TRUE(instance.BlockUpdatesDisplay()) << "0.3 s after the last check";
    EXPECT_EQ(effect.displayChanged, 0.0);
    EXPECT_GE(effect.lastCheckTime, before - 1e-6);

    effect.displayChanged = 1.0;
    for (int block = 0; block < 100; ++block) {
        const double sinceCheck = WallClockNow() - effect.lastCheckTime;
        const bool updated = instance.BlockUpdatesDisplay();
        if (sinceCheck < 0.2) {
            ASSERT_FALSE(updated) << "only " << sinceCheck << " s after the last check";
        }
        if (updated) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(effect.displayChanged, 0.0) << "within 0.25 s and a few blocks the change is reported";
}

// A check made 0.2 s ago by the wall clock but long ago by the coarse clock (as after DoReset):
// the wall clock still decides, so no notification before 0.25 s.
TEST(DisplayCheck, TheWallClockDecidesWhenTheCoarseClockAllowsACheck) {
    Instance instance;
    TVormlekEffect& effect = *instance.effect;
    effect.DoReset();
    effect.displayChanged = 1.0;
    effect.lastCheckTime = WallClockNow() - 0.2;
    EXPECT_FALSE(instance.BlockUpdatesDisplay());
    effect.lastCheckTime = WallClockNow() - 0.3;
    EXPECT_TRUE(instance.BlockUpdatesDisplay());
}

}  // namespace
