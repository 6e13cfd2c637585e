// The Windows DLL as a Windows host meets it: installed in a plug-in folder whose path contains
// spaces, finding its files beside itself there, and refused by a host of the other bitness.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/driver/Plugin.h"
#include "tools/support/ChannelBuffers.h"

namespace fs = std::filesystem;
using namespace vsthost;

namespace {

// A plug-in folder named the way Windows installations name theirs, made fresh for each test
// beside the test program and removed afterwards.
class PluginFolder : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
        root = fs::current_path() / ("Program Files (x86) " + test);
        folder = root / "Vst Plugins" / "Tolvarnesk Trim";
        fs::remove_all(root);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path Install(const fs::path& built) const {
        const fs::path installed = folder / built.filename();
        fs::copy_file(built, installed);
        return installed;
    }

    fs::path root;
    fs::path folder;
};

using ResolveProc = const char* (*)(const char* name);

// Loads the probe module from path and answers where it resolves each name.
std::vector<std::string> ResolvedBesideProbe(const fs::path& path, const std::vector<const char*>& names) {
    std::vector<std::string> answers;
    HMODULE probe = LoadLibraryA(path.string().c_str());
    if (probe == nullptr) {
        ADD_FAILURE() << "LoadLibrary " << path.string() << " failed with error " << GetLastError();
        return answers;
    }
    const auto resolve =
        reinterpret_cast<ResolveProc>(reinterpret_cast<void*>(GetProcAddress(probe, "ResolveBesideModule")));
    if (resolve == nullptr) {
        ADD_FAILURE() << "the probe exports no ResolveBesideModule";
    } else {
        for (const char* name : names) answers.emplace_back(resolve(name));
    }
    FreeLibrary(probe);
    return answers;
}

}  // namespace

TEST_F(PluginFolder, LoadsAndTrimsFromAFolderWithSpacesInItsPath) {
    const fs::path installed = Install(TRIM_PLUGIN_PATH);
    PluginLibrary library;
    ASSERT_TRUE(library.load(installed.string())) << library.error();
    EXPECT_EQ(library.entryName(), "VSTPluginMain");
    EXPECT_EQ(library.entryNamed("main"), library.entryNamed("VSTPluginMain"));
    ASSERT_NE(library.entryNamed("MAIN"), nullptr);

    for (const char* name : {"VSTPluginMain", "main", "MAIN"}) {
        SCOPED_TRACE(name);
        ScriptedHost host;
        Plugin plugin(host, library.entryNamed(name));
        ASSERT_TRUE(plugin.valid());
        plugin.start();
        plugin.setParameter(0, 0.75f);  // +6 dB on the first channel, 0 dB on the others

        constexpr VstInt32 kFrames = 64;
        ChannelBuffers<float> in(4, kFrames), out(4, kFrames);
        for (int channel = 0; channel < 4; ++channel) {
            for (VstInt32 frame = 0; frame < kFrames; ++frame) {
                in.channel(channel)[frame] = 0.01f * static_cast<float>(frame - channel);
            }
        }
        plugin.processReplacing(in.pointers(), out.pointers(), kFrames);

        const double gain = std::pow(10.0, 6.0 / 20.0);
        for (VstInt32 frame = 0; frame < kFrames; ++frame) {
            EXPECT_FLOAT_EQ(out[0][frame], static_cast<float>(in[0][frame] * gain)) << frame;
            for (int channel = 1; channel < 4; ++channel) {
                EXPECT_EQ(out[channel][frame], in[channel][frame]) << channel << " " << frame;
            }
        }
    }
}

TEST_F(PluginFolder, ScriptFilesResolveBesideTheModuleWithEitherSeparator) {
    const fs::path installed = Install(TRIM_PROBE_PATH);
    const std::string directory = folder.string() + '\\';
    const std::vector<std::string> answers =
        ResolvedBesideProbe(installed, {"", "state.dat", "\\state.dat", "/state.dat", "data/levels.dat"});
    ASSERT_EQ(answers.size(), 5u);
    EXPECT_EQ(answers[0], directory);
    EXPECT_EQ(answers[1], directory + "state.dat");
    EXPECT_EQ(answers[2], directory + "state.dat");
    EXPECT_EQ(answers[3], directory + "state.dat");
    EXPECT_EQ(answers[4], directory + "data/levels.dat");
}

TEST(OtherBitness, LoadingTheDllBuiltForTheOtherBitnessFailsWithBadFormat) {
    const fs::path other = TRIM_OTHER_BITNESS_PLUGIN;
    if (!fs::exists(other)) GTEST_SKIP() << other.string() << " is not built: build the other Windows preset first";
    PluginLibrary library;
    EXPECT_FALSE(library.load(other.string()));
    EXPECT_EQ(library.error(), "LoadLibrary failed with error 193");  // ERROR_BAD_EXE_FORMAT
    EXPECT_EQ(library.entry(), nullptr);
}
