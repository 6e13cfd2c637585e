// A program run from a test as a user runs it from a shell: judged by its exit code and by what it
// prints, each stream caught whole.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vsthost::test {

struct Outcome {
    int exitCode;
    std::string out;
    std::string err;
};

// TEXT as one shell word.
inline std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline std::string Slurp(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs PROGRAM with ARGS, ENVIRONMENT (shell assignments) before it; the output streams pass through
// files in SCRATCH, which are gone afterwards. A program ended by a signal gives exit code -1.
inline Outcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::filesystem::path& scratch, const std::string& environment = "") {
    std::string command = environment + " " + Quoted(program);
    for (const std::string& arg : args) command += " " + Quoted(arg);
    const std::filesystem::path out = scratch / ".stdout", err = scratch / ".stderr";
    const int status = std::system((command + " >" + Quoted(out) + " 2>" + Quoted(err)).c_str());
    Outcome result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return result;
}

// A test with a folder of its own, gone afterwards, for the files a program reads and writes.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vsthost-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path file(const std::string& name) const { return dir_ / name; }

    // A third-party plug-in from Debian's packages; the test is skipped, saying so, where it is missing.
    static void RequirePeer(const std::string& path) {
        if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not installed (scripts/install-deps.sh installs it)";
    }

    std::filesystem::path dir_;
};

}  // namespace vsthost::test
