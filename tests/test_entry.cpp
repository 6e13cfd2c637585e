#include <gtest/gtest.h>

#include "Plugin.h"

using namespace vsthost;

TEST(Entry, SmokeCreatesTheTrimEffect) {
    PluginLibrary library;
    ASSERT_TRUE(library.load(TRIM_PLUGIN_PATH)) << library.error();
    ScriptedHost host;
    Plugin plugin(host, library.entry());
    ASSERT_TRUE(plugin.valid());
    EXPECT_EQ(plugin.fields().numInputs, 4);
    EXPECT_EQ(plugin.effectName(), "Tolvarnesk_multi-channel_level_trimmer_4x_mono");
}
