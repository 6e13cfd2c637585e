// Reading the report of `vsthost validate`, for the tests of the Linux and the Windows build alike.
#pragma once

#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace vsthost::test {

// Validate's lines by check name: "PASS", "FAIL" or "SKIP" and the whole line.
inline std::map<std::string, std::pair<std::string, std::string>> ValidateLines(const std::string& out) {
    std::map<std::string, std::pair<std::string, std::string>> lines;
    std::istringstream text(out);
    for (std::string line; std::getline(text, line);) {
        const std::string status = line.substr(0, 4);
        if (status != "PASS" && status != "FAIL" && status != "SKIP") continue;
        std::string name = line.substr(6, 36);
        name.erase(name.find_last_not_of(' ') + 1);
        lines[name] = {status, line};
    }
    return lines;
}

inline const std::vector<std::string> kChecks = {
    "load and instantiate",     "open and close, cold",   "open and close, warm",
    "several instances at once", "info",                  "text buffers",            "programs",
    "processing at 44100 Hz",   "processing at 48000 Hz", "processing at 96000 Hz",
    "0-frame blocks",           "in-place buffers",       "sub-block automation",
    "parameters from a second thread", "state save and load", "heap allocations during processing",
    "parameter fuzz"};

}  // namespace vsthost::test
