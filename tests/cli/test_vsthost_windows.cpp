// The Windows build of the command-line host run as a Windows user runs it, under Wine: as a separate
// program, judged by its exit code and what it prints, against our DLL and small DLLs with known faults.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/ValidateReport.h"

namespace fs = std::filesystem;
using vsthost::test::kChecks;
using vsthost::test::ValidateLines;

namespace {

struct Outcome {
    DWORD exitCode;
    std::string out;
    std::string err;
};

std::string Slurp(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Where 32-bit code is emulated every process start takes a second or two and the plug-in's code runs
// several times slower, so the checks' time limits are scaled up (tests/wine-session.sh says how).
bool Emulated() {
    const char* mode = std::getenv("TRIM_WINE_MODE");
    return mode != nullptr && std::string(mode) == "emulated";
}

class VsthostWindows : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
        dir_ = fs::temp_directory_path() / ("vsthost-windows-" + test + "-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path file(const std::string& name) const { return dir_ / name; }

    // Runs the Windows vsthost with the arguments and VSTHOST_TEST_QUIRK set to quirk.
    Outcome run(const std::vector<std::string>& args, const std::string& quirk = "") const {
        std::string commandLine = "\"" + std::string(VSTHOST_PATH) + "\"";
        for (const std::string& arg : args) commandLine += " \"" + arg + "\"";
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        const fs::path outPath = file(".stdout"), errPath = file(".stderr");
        HANDLE out = CreateFileA(outPath.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        HANDLE err = CreateFileA(errPath.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out;
        startup.hStdError = err;
        PROCESS_INFORMATION started{};
        SetEnvironmentVariableA("VSTHOST_TEST_QUIRK", quirk.c_str());
        const BOOL ok = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                       &started);
        SetEnvironmentVariableA("VSTHOST_TEST_QUIRK", nullptr);
        CloseHandle(out);
        CloseHandle(err);
        if (!ok) {
            ADD_FAILURE() << "cannot start " << VSTHOST_PATH << ": error " << GetLastError();
            return {~0u, "", ""};
        }
        WaitForSingleObject(started.hProcess, INFINITE);
        DWORD exitCode = 0;
        GetExitCodeProcess(started.hProcess, &exitCode);
        CloseHandle(started.hProcess);
        CloseHandle(started.hThread);
        return {exitCode, Slurp(outPath), Slurp(errPath)};
    }

    // Validate's exit code, and the named checks' verdicts: status and a part of the line.
    void expectVerdicts(const Outcome& result, DWORD exitCode,
                        const std::map<std::string, std::pair<std::string, std::string>>& verdicts) const {
        EXPECT_EQ(result.exitCode, exitCode) << result.out << result.err;
        const auto lines = ValidateLines(result.out);
        ASSERT_EQ(lines.size(), kChecks.size()) << result.out << result.err;
        for (const auto& [check, verdict] : verdicts) {
            EXPECT_EQ(lines.at(check).first, verdict.first) << lines.at(check).second;
            EXPECT_NE(lines.at(check).second.find(verdict.second), std::string::npos) << lines.at(check).second;
        }
    }

    fs::path dir_;
};

TEST_F(VsthostWindows, ValidatesOurDllOnEveryCheck) {
    const Outcome result = run({"validate", TRIM_PLUGIN_PATH});
    EXPECT_EQ(result.exitCode, 0u) << result.out << result.err;
    const auto lines = ValidateLines(result.out);
    ASSERT_EQ(lines.size(), kChecks.size()) << result.out;
    for (const std::string& check : kChecks) EXPECT_EQ(lines.at(check).first, "PASS") << lines.at(check).second;
    EXPECT_NE(lines.at("heap allocations during processing").second.find("none in 512 processing calls"),
              std::string::npos);
}

TEST_F(VsthostWindows, InfoAndBenchDescribeAndTimeOurDll) {
    const Outcome info = run({"info", "--json", TRIM_PLUGIN_PATH});
    ASSERT_EQ(info.exitCode, 0u) << info.err;
    const auto described = nlohmann::json::parse(info.out);
    EXPECT_EQ(described["entry"], "VSTPluginMain");
    EXPECT_EQ(described["inputs"], 4);
    EXPECT_EQ(described["parameters"][3]["name"], "level mono 4");
    EXPECT_EQ(info.out.find('\r'), std::string::npos) << "lines end as on Linux";

    const Outcome bench = run({"bench", "--json", "--rounds", "2", "--frames", "4096", "-b", "256", "-d",
                               "level mono 2=-6", TRIM_PLUGIN_PATH});
    ASSERT_EQ(bench.exitCode, 0u) << bench.err;
    const auto results = nlohmann::json::parse(bench.out)["results"];
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0]["precision"], "float");
    EXPECT_EQ(results[1]["precision"], "double");
    EXPECT_GT(results[1]["nsPerFrame"].get<double>(), 0.0);
}

TEST_F(VsthostWindows, ValidateFailsTheChecksAFaultyDllBreaks) {
    expectVerdicts(run({"validate", FAULT_PLUGIN_PATH}), 1,
                   {{"0-frame blocks", {"FAIL", "seen output channel 0 frame 0 written"}},
                    {"in-place buffers", {"FAIL", "seen crashed with abort() (SIGABRT)"}},
                    {"parameter fuzz", {"FAIL", "seen NaN at channel 0 frame 0 after parameter 0 (gain) set to 1"}},
                    {"heap allocations during processing",
                     {"FAIL", "expected no heap allocation while processing; seen 256 in 256 calls"}},
                    {"processing at 44100 Hz", {"PASS", ""}}});
}

// The report for machines and the choice of checks, rates and block sizes work as on Linux, also in
// the child processes this build starts again for each check.
TEST_F(VsthostWindows, ValidateReportsTheChosenChecksAsJsonAndJUnit) {
    const Outcome result = run({"validate", FAULT_PLUGIN_PATH, "--only", "processing,zero-frames,in-place",
                                "--sample-rates", "32000", "--block-sizes", "16,48", "--json", "--junit",
                                file("report.xml").string()});
    EXPECT_EQ(result.exitCode, 1u) << result.err;
    const auto report = nlohmann::json::parse(result.out);
    const auto& checks = report["checks"];
    ASSERT_EQ(checks.size(), 3u) << result.out;
    EXPECT_EQ(checks[0]["name"], "processing at 32000 Hz");
    EXPECT_EQ(checks[0]["verdict"], "pass");
    EXPECT_NE(checks[0]["seen"].get<std::string>().find("noise in blocks of 16 48"), std::string::npos) << checks[0];
    EXPECT_EQ(checks[1]["verdict"], "fail");
    EXPECT_EQ(checks[1]["expected"], "0-frame calls to leave the outputs untouched");
    EXPECT_EQ(checks[2]["verdict"], "fail");
    EXPECT_NE(checks[2]["seen"].get<std::string>().find("crashed with abort() (SIGABRT)"), std::string::npos) << checks[2];
    EXPECT_GT(checks[2]["durationSeconds"].get<double>(), 0.0);
    const std::string xml = Slurp(file("report.xml"));
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"vsthost validate\" tests=\"3\" "
                        "failures=\"2\"", 0), 0u) << xml;
    EXPECT_NE(xml.find("<testcase classname=\"vsthost.validate\" name=\"processing at 32000 Hz\""), std::string::npos);
}

// Allocations made by the plug-in's own thread while it processes are not the processing thread's.
TEST_F(VsthostWindows, ValidateCountsOnlyTheProcessingThreadsAllocations) {
    expectVerdicts(run({"validate", QUIRKY_PLUGIN_PATH}, "allocates-elsewhere"), 0,
                   {{"heap allocations during processing", {"PASS", "none in 256 processing calls"}}});
}

// A name written past its published buffer fails, naming the opcode and the bytes, as on Linux.
TEST_F(VsthostWindows, ValidateFailsATextWrittenPastItsBuffer) {
    expectVerdicts(run({"validate", QUIRKY_PLUGIN_PATH}, "long-names"), 1,
                   {{"text buffers", {"FAIL", "seen effGetEffectName wrote 47 bytes into a buffer of 32"}},
                    {"info", {"PASS", ""}}});
}

// One validate run each: emulated, a run takes half a minute or more.
const std::string kUnfinishedProcessing = "expected the check 'processing at 44100 Hz' to finish; seen ";

TEST_F(VsthostWindows, ValidateNamesTheExceptionCodeOfACrash) {
    expectVerdicts(run({"validate", QUIRKY_PLUGIN_PATH}, "crashes-in-processing"), 1,
                   {{"processing at 44100 Hz",
                     {"FAIL", kUnfinishedProcessing + "crashed with exception 0xC0000005 (access violation)"}},
                    {"programs", {"PASS", ""}}});
}

TEST_F(VsthostWindows, ValidateNamesAnExitOfThePlugin) {
    expectVerdicts(run({"validate", QUIRKY_PLUGIN_PATH}, "exits-in-processing"), 1,
                   {{"processing at 44100 Hz", {"FAIL", kUnfinishedProcessing + "ended without an answer (exit status 3)"}}});
}

// The 64-bit runtime hands the exception on to the host; the 32-bit one cannot, and ends the process.
TEST_F(VsthostWindows, ValidateNamesAnExceptionThatEscapesThePlugin) {
    expectVerdicts(run({"validate", QUIRKY_PLUGIN_PATH}, "throws"), 1,
                   {{"state save and load",
                     {"FAIL", "expected the check 'state save and load' to finish; seen an exception escaped: std::bad_alloc"}},
                    {"processing at 44100 Hz", {"PASS", ""}}});
}

TEST_F(VsthostWindows, ValidateEndsAHungCheckAfterItsLimit) {
    const std::string factor = Emulated() ? "0.3" : "0.1";
    const std::string limit = Emulated() ? "18" : "6";
    expectVerdicts(run({"validate", QUIRKY_PLUGIN_PATH, "--timeout-factor", factor}, "hangs-in-programs"), 1,
                   {{"programs", {"FAIL", "expected the check 'programs' to finish; seen no answer within " + limit +
                                              " s (a hang); the child was killed"}}});
}

// info and bench run the plug-in in this process: its crash or exit is an error with exit code 2.
TEST_F(VsthostWindows, BenchReportsAPluginThatCrashesOrEndsTheProcess) {
    const std::vector<std::string> bench = {"bench", "--rounds", "1", "--frames", "512", "-b", "32", QUIRKY_PLUGIN_PATH};
    const Outcome crash = run(bench, "crashes-in-processing");
    EXPECT_EQ(crash.exitCode, 2u);
    EXPECT_NE(crash.err.find("the plug-in crashed with exception 0xC0000005 (access violation) while benchmarking"),
              std::string::npos) << crash.err;
    const Outcome exit = run(bench, "exits-in-processing");
    EXPECT_EQ(exit.exitCode, 2u);
    EXPECT_NE(exit.err.find("the plug-in ended the process while benchmarking"), std::string::npos) << exit.err;
}

TEST_F(VsthostWindows, PluginsForAnotherSystemOrBitnessAreRefusedByName) {
    const std::string bits = sizeof(void*) == 4 ? "32" : "64", otherBits = sizeof(void*) == 4 ? "64" : "32";
    std::string elf(64, '\0');
    elf.replace(0, 6, "\x7F" "ELF\x02\x01");
    std::ofstream(file("plugin.so"), std::ios::binary) << elf;
    const Outcome linuxPlugin = run({"validate", file("plugin.so").string()});
    EXPECT_EQ(linuxPlugin.exitCode, 2u);
    EXPECT_NE(linuxPlugin.err.find("it is a 64-bit Linux plug-in, and this vsthost loads only " + bits +
                                   "-bit Windows DLLs; the Linux build of vsthost loads it"),
              std::string::npos) << linuxPlugin.err;

    const Outcome render = run({"render", TRIM_PLUGIN_PATH, "in.wav", "out.wav"});
    EXPECT_EQ(render.exitCode, 2u);
    EXPECT_NE(render.err.find("render is part of the Linux build of vsthost only"), std::string::npos) << render.err;

    if (!fs::exists(TRIM_OTHER_BITNESS_PLUGIN))
        GTEST_SKIP() << "the " << otherBits << "-bit DLL is not built (" << TRIM_OTHER_BITNESS_PLUGIN << ")";
    const Outcome other = run({"info", TRIM_OTHER_BITNESS_PLUGIN});
    EXPECT_EQ(other.exitCode, 2u);
    EXPECT_NE(other.err.find("it is a " + otherBits + "-bit Windows DLL, and this vsthost loads only " + bits +
                             "-bit Windows DLLs; vsthost-win" + otherBits + ".exe loads it"),
              std::string::npos) << other.err;
}

}  // namespace
