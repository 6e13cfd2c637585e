// The validate command: every check in one table, each run in a child process, one line each.
#include <cstdio>
#include <span>
#include <string>

#include "Commands.h"
#include "Isolation.h"
#include "ValidateChecks.h"

namespace vsthost {

namespace {

using namespace validate;

constexpr int kCheckTimeoutSeconds = 300;

struct Check {
    const char* name;
    Outcome (*run)(const Subject&);
};

// Every check in the order they run and print. The first makes an instance: when it fails, the others
// cannot run.
constexpr Check kChecks[] = {
    {"load and instantiate", CheckLoad},
    {"open and close, cold", CheckColdOpenClose},
    {"open and close, warm", CheckWarmOpenClose},
    {"several instances at once", CheckSeveralInstances},
    {"info", CheckInfo},
    {"programs", CheckPrograms},
    {"processing at 44100 Hz", [](const Subject& subject) { return CheckProcessingAt(subject, 44100.0); }},
    {"processing at 48000 Hz", [](const Subject& subject) { return CheckProcessingAt(subject, 48000.0); }},
    {"processing at 96000 Hz", [](const Subject& subject) { return CheckProcessingAt(subject, 96000.0); }},
    {"0-frame blocks", CheckZeroFrames},
    {"in-place buffers", CheckInPlace},
    {"sub-block automation", CheckSubBlockAutomation},
    {"parameters from a second thread", CheckSecondThread},
    {"state save and load", CheckState},
    {"heap allocations during processing", CheckAllocations},
    {"parameter fuzz", CheckFuzz},
};

// Runs one check in a child process; a crash or a hang fails the check.
Outcome RunCheck(const Check& check, const Subject& subject) {
    const IsolatedResult result = RunIsolated(
        [&] {
            try {
                const Outcome outcome = check.run(subject);
                return static_cast<char>(outcome.status) + outcome.detail;
            } catch (const HostError& error) {
                return static_cast<char>(Status::Fail) + std::string("expected the check to run; seen ") + error.what();
            }
        },
        kCheckTimeoutSeconds);
    if (!result.completed || result.text.empty()) return Failed("the check to finish", result.text);
    return {static_cast<Status>(result.text.front()), result.text.substr(1)};
}

void PrintLine(const std::string& name, const Outcome& outcome) {
    const char* word = outcome.status == Status::Pass ? "PASS" : outcome.status == Status::Fail ? "FAIL" : "SKIP";
    std::printf("%s  %-36s %s\n", word, name.c_str(), outcome.detail.c_str());
    std::fflush(stdout);
}

}  // namespace

int RunValidate(const ValidateOptions& options) {
    const Subject subject{options.plugin, options.seed};
    std::printf("validating %s (seed %u)\n", options.plugin.c_str(), options.seed);
    const Check& load = kChecks[0];
    const Outcome loaded = RunCheck(load, subject);
    PrintLine(load.name, loaded);
    if (loaded.status != Status::Pass) {
        std::printf("the other checks need an instance: stopped\n");
        return 1;
    }
    int passed = 1, failed = 0, skipped = 0;
    for (const Check& check : std::span(kChecks).subspan(1)) {
        const Outcome outcome = RunCheck(check, subject);
        PrintLine(check.name, outcome);
        (outcome.status == Status::Pass ? passed : outcome.status == Status::Fail ? failed : skipped) += 1;
    }
    std::printf("%d checks: %d passed, %d failed, %d skipped\n", passed + failed + skipped, passed, failed, skipped);
    return failed == 0 ? 0 : 1;
}

}  // namespace vsthost
