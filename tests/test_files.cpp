// Script files next to the module, directory listings, file-list sliders, string slots and the
// path helpers. In this test program the module is the test executable itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "runtime/FilePaths.h"
#include "runtime/TVormlek.h"

namespace fs = std::filesystem;
using namespace vormlek;

namespace {

std::vector<std::uint8_t> FileBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void Touch(const fs::path& path) { std::ofstream(path, std::ios::binary) << "x"; }

// A scratch directory next to the module, named relative to the module's directory as scripts name files.
class Files : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(ModuleDirectory().empty());
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        relative = std::string("scratch_") + test->test_suite_name() + "_" + test->name();
        absolute = fs::path(ModuleDirectory() + relative);
        fs::remove_all(absolute);
        ASSERT_TRUE(fs::create_directories(absolute));
    }
    void TearDown() override { fs::remove_all(absolute); }

    std::string relative;
    fs::path absolute;
};

TEST_F(Files, TheModuleDirectoryHoldsTheModule) {
    EXPECT_TRUE(fs::is_regular_file(ModulePath())) << ModulePath();
    EXPECT_TRUE(EndsWithSeparator(ModuleDirectory()));
    EXPECT_EQ(ModuleDirectory(), DirectoryPart(ModulePath()));
}

TEST_F(Files, ResolvingDropsOneLeadingSeparator) {
    const std::string name = relative + "/take.dat";
    const std::string resolved = ResolveFileName(name);
    EXPECT_EQ(resolved, ModuleDirectory() + name);
    EXPECT_EQ(ResolveFileName("/" + name), resolved);
    EXPECT_EQ(ResolveFileName("\\" + name), resolved);
    EXPECT_EQ(ResolveFileName("//" + name), ModuleDirectory() + "/" + name);
    Touch(resolved);
    EXPECT_TRUE(fs::is_regular_file(absolute / "take.dat"));
}

TEST_F(Files, AWritingSlotIsFlushedAsOneLowByteForEachValue) {
    FileSlot slot;
    slot.name = relative + "/out.bin";
    slot.mode = FileSlot::kWriting;
    slot.position = 3;
    slot.data = {65.0f, -1.2f, 300.0f, 255.99995f, -256.0f};
    slot.resetFlag = 1;
    slot.initFlag = 7;
    slot.counter1 = 4;
    slot.counter2 = 5;
    CVormlekFiles::ResetFileSlot(slot);

    EXPECT_EQ(FileBytes(absolute / "out.bin"), (std::vector<std::uint8_t>{0x41, 0xFF, 0x2C, 0x00, 0x00}));
    EXPECT_EQ(slot.name, "");
    EXPECT_EQ(slot.position, 0);
    EXPECT_TRUE(slot.data.empty());
    EXPECT_EQ(slot.resetFlag, 0);
    EXPECT_EQ(slot.initFlag, 7) << "the init flag is not touched";
    EXPECT_EQ(slot.counter1, 0);
    EXPECT_EQ(slot.counter2, 0);
}

TEST_F(Files, OnlyANamedWritingSlotWritesAndAnUnopenableFileIsSkipped) {
    FileSlot reading;
    reading.name = relative + "/read.bin";
    reading.mode = FileSlot::kReading;
    reading.data = {1.0f};
    CVormlekFiles::ResetFileSlot(reading);
    EXPECT_FALSE(fs::exists(absolute / "read.bin"));

    FileSlot unopenable;
    unopenable.name = relative + "/no such directory/out.bin";
    unopenable.mode = FileSlot::kWriting;
    unopenable.data = {1.0f, 2.0f};
    CVormlekFiles::ResetFileSlot(unopenable);
    EXPECT_FALSE(fs::exists(absolute / "no such directory"));
    EXPECT_EQ(unopenable.name, "");
    EXPECT_TRUE(unopenable.data.empty());
}

TEST_F(Files, DestroyingTheScriptFlushesItsWritingSlots) {
    auto script = std::make_unique<TVormlek>();
    ASSERT_EQ(script->files.size(), 1u);
    script->stateFile().name = "/" + relative + "/state.bin";
    script->stateFile().mode = FileSlot::kWriting;
    script->stateFile().data = {1.0f, 2.0f};
    FileSlot extra;
    extra.name = relative + "/extra.bin";
    extra.mode = FileSlot::kWriting;
    extra.data = {3.0f};
    script->files.push_back(extra);
    script.reset();

    EXPECT_EQ(FileBytes(absolute / "state.bin"), (std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(FileBytes(absolute / "extra.bin"), (std::vector<std::uint8_t>{3}));
}

TEST_F(Files, ASaveFlushesANamedWritingStateSlotBeforeReusingIt) {
    TVormlek script;
    script.stateFile().name = relative + "/pending.bin";
    script.stateFile().mode = FileSlot::kWriting;
    script.stateFile().data = {9.0f};
    void* chunk = nullptr;
    EXPECT_EQ(script.SaveChunk(&chunk, false), 0) << "the base script serialises nothing";
    EXPECT_EQ(FileBytes(absolute / "pending.bin"), (std::vector<std::uint8_t>{9}));
    EXPECT_EQ(script.stateFile().name, "");
}

TEST_F(Files, ListingYieldsOnlyRegularFilesOutsideDotEntries) {
    Touch(absolute / "take.dat");
    Touch(absolute / ".hidden");
    fs::create_directory(absolute / "folder");
    Touch(absolute / "folder" / "inner.dat");

    EXPECT_EQ(ListDirectory(WithTrailingSeparator(absolute.string())), std::vector<std::string>{"take.dat"});
    EXPECT_TRUE(ListDirectory(WithTrailingSeparator((absolute / "missing").string())).empty());
}

TEST_F(Files, AFileListSliderTakesItsNamesFromTheDirectory) {
    fs::create_directory(absolute / "presets");
    for (const char* name : {"soft.dat", "medium.dat", "hard.dat"}) Touch(absolute / "presets" / name);
    fs::create_directory(absolute / "presets" / "old");

    TVormlek script;
    script.DeclareSlider(5, 2.0, -12.0, 12.0, 0.1, {}, "/" + relative + "/presets", "", "preset");
    const SliderInfo& info = script.sliderInfos.back();
    EXPECT_TRUE(info.scanned);
    EXPECT_EQ(info.names, ListDirectory(WithTrailingSeparator((absolute / "presets").string())))
        << "in listing order";
    std::vector<std::string> sorted = info.names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::string>{"hard.dat", "medium.dat", "soft.dat"}));
    EXPECT_EQ(info.minimum, 0.0);
    EXPECT_EQ(info.maximum, 2.0);
    EXPECT_EQ(info.step, 0.5);
    EXPECT_EQ(info.defaultValue, 0.0);
    EXPECT_EQ(script.sliderValues[5], 2.0) << "the declared value stays";

    // The name as far as a display text's 8 bytes hold it.
    char display[64] = {};
    script.ParameterDisplay(0, display);
    EXPECT_EQ(display, info.names[2].substr(0, 7));
}

TEST_F(Files, AFileListSliderWithoutFilesHasOneStandInName) {
    fs::create_directory(absolute / "empty");
    fs::create_directory(absolute / "empty" / "folder");
    Touch(absolute / "empty" / ".hidden");

    TVormlek script;
    script.DeclareSlider(1, 0.0, -1.0, 1.0, 0.1, {}, relative + "/empty", "", "empty");
    script.DeclareSlider(2, 0.0, -1.0, 1.0, 0.1, {}, relative + "/missing", "", "missing");
    script.DeclareSlider(3, 0.5, -1.0, 1.0, 0.1, {"a", "b"}, "", "", "plain");
    for (std::size_t index = 0; index < 2; ++index) {
        const SliderInfo& info = script.sliderInfos[index];
        EXPECT_EQ(info.names, std::vector<std::string>{"(No Data Files)"}) << info.name;
        EXPECT_EQ(info.minimum, 0.0);
        EXPECT_EQ(info.maximum, 0.0);
        EXPECT_EQ(info.step, 0.5);
    }
    const SliderInfo& plain = script.sliderInfos[2];
    EXPECT_EQ(plain.names, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(plain.minimum, -1.0);
    EXPECT_EQ(plain.step, 0.1);
}

TEST(Strings, SlotsAreCreatedOnFirstReadAndClearedByReset) {
    TVormlek script;
    EXPECT_EQ(script.stringCount, 0.0);
    EXPECT_EQ(script.StringSlot(7), "");
    EXPECT_EQ(script.stringCount, 1.0);
    script.StringSlot(7) = "seven";
    EXPECT_EQ(script.StringSlot(7), "seven");
    EXPECT_EQ(script.stringCount, 1.0);
    script.StringSlot(-3);
    EXPECT_EQ(script.stringCount, 2.0);
    script.namedStrings[1] = "kept";

    script.DoReset();
    EXPECT_TRUE(script.strings.empty());
    EXPECT_EQ(script.stringCount, 0.0);
    EXPECT_EQ(script.namedStrings.at(1), "kept");
}

TEST(Paths, Comparisons) {
    EXPECT_TRUE(Equals("Take.dat", "Take.dat"));
    EXPECT_FALSE(Equals("Take.dat", "take.dat"));
    EXPECT_TRUE(EqualsIgnoringCase("Take.DAT", "tAKE.dat"));
    EXPECT_FALSE(EqualsIgnoringCase("take", "takes"));
    EXPECT_FALSE(EqualsIgnoringCase("[", "{")) << "only letters ignore case";
    EXPECT_FALSE(EqualsIgnoringCase("@", "`"));

    EXPECT_TRUE(StartsWith("take.dat", "take"));
    EXPECT_FALSE(StartsWith("ta", "take"));
    EXPECT_TRUE(EndsWith("take.dat", ".dat"));
    EXPECT_FALSE(EndsWith("at", ".dat"));
    EXPECT_FALSE(EndsWith("take.dat", ".DAT"));

    EXPECT_FALSE(EndsWithSeparator(""));
    EXPECT_FALSE(EndsWithSeparator("dir"));
    EXPECT_TRUE(EndsWithSeparator("dir/"));
    EXPECT_TRUE(EndsWithSeparator("dir\\"));
}

TEST(Paths, AddingAndRemovingSeparators) {
    const std::string separator(1, kNativeSeparator);
    EXPECT_EQ(WithTrailingSeparator(""), separator);
    EXPECT_EQ(WithTrailingSeparator("dir"), "dir" + separator);
    EXPECT_EQ(WithTrailingSeparator("dir\\"), "dir\\");
    EXPECT_EQ(WithTrailingSeparator("dir/"), "dir/");
    EXPECT_EQ(WithLeadingSeparator(""), separator);
    EXPECT_EQ(WithLeadingSeparator("dir"), separator + "dir");
    EXPECT_EQ(WithLeadingSeparator("/dir"), "/dir");
    EXPECT_EQ(WithoutLeadingSeparator("\\\\dir"), "\\dir");
    EXPECT_EQ(WithoutLeadingSeparator("/dir"), "dir");
    EXPECT_EQ(WithoutLeadingSeparator("dir/"), "dir/");
    EXPECT_EQ(WithoutLeadingSeparator(""), "");
}

TEST(Paths, Parts) {
    EXPECT_EQ(LastSeparator("C:\\plug-ins/trim\\x.dll"), 16);
    EXPECT_EQ(LastSeparator("x.dll"), -1);
    EXPECT_EQ(LastSeparator(""), -1);
    EXPECT_EQ(DirectoryPart("C:\\plug-ins/x.dll"), "C:\\plug-ins/");
    EXPECT_EQ(FileNamePart("C:\\plug-ins/x.dll"), "x.dll");
    EXPECT_EQ(DirectoryPart("x.dll"), "") << "a module path without separator has no directory";
    EXPECT_EQ(FileNamePart("x.dll"), "x.dll");
    EXPECT_EQ(FileNamePart("dir/"), "");
    EXPECT_EQ(Extension("take.tar.gz"), ".gz");
    EXPECT_EQ(Extension("take"), "");
    EXPECT_EQ(Extension("take."), ".");
}

}  // namespace
