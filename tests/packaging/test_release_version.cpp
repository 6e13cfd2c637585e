#include <gtest/gtest.h>

#include "tools/driver/Plugin.h"

using namespace vsthost;

// Hosts show and compare the vendor version; the packages carry the project's version. A release
// whose two numbers disagree would tell users one version and hosts another.
TEST(ReleaseVersion, ThePluginReportsTheProjectVersionAsItsVendorVersion) {
    PluginLibrary library;
    ASSERT_TRUE(library.load(TRIM_PLUGIN_PATH)) << library.error();
    ScriptedHost host;
    Plugin plugin(host, library.entryNamed("VSTPluginMain"));
    ASSERT_TRUE(plugin.valid());
    plugin.open();
    EXPECT_EQ(plugin.dispatch(effGetVendorVersion), TRIM_VENDOR_VERSION)
        << "the project's version is " TRIM_PROJECT_VERSION;
}
