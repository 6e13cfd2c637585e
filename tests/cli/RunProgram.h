// A program run from a test as a user runs it from a shell: judged by its exit code and by what it
// prints, each stream caught whole.
#pragma once

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

}  // namespace vsthost::test
