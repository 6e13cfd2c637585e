// The validate command: every check in one table, each run in a child process, one line each.
#include <cstdio>
#include <span>
#include <string>

#include "tools/support/Text.h"
#include "tools/vsthost/Commands.h"
#include "tools/vsthost/Isolation.h"
#include "tools/vsthost/ValidateChecks.h"

namespace vsthost {

namespace {

using namespace validate;

struct Check {
    const char* name;
    Outcome (*run)(const Subject&);
    // What the check's work takes a plug-in that is slow but not stuck, with room for a loaded
    // machine: beyond it the check is taken to hang.
    int timeoutSeconds;
};

// Every check in the order they run and print. The first makes an instance: when it fails, the others
// cannot run.
constexpr Check kChecks[] = {
    {"load and instantiate", CheckLoad, 60},
    {"open and close, cold", CheckColdOpenClose, 120},
    {"open and close, warm", CheckWarmOpenClose, 120},
    {"several instances at once", CheckSeveralInstances, 90},
    {"info", CheckInfo, 60},
    {"text buffers", CheckTextBuffers, 60},
    {"programs", CheckPrograms, 60},
    {"processing at 44100 Hz", [](const Subject& subject) { return CheckProcessingAt(subject, 44100.0); }, 180},
    {"processing at 48000 Hz", [](const Subject& subject) { return CheckProcessingAt(subject, 48000.0); }, 180},
    {"processing at 96000 Hz", [](const Subject& subject) { return CheckProcessingAt(subject, 96000.0); }, 180},
    {"0-frame blocks", CheckZeroFrames, 60},
    {"in-place buffers", CheckInPlace, 90},
    {"sub-block automation", CheckSubBlockAutomation, 120},
    {"parameters from a second thread", CheckSecondThread, 90},
    {"state save and load", CheckState, 90},
    {"heap allocations during processing", CheckAllocations, 60},
    {"parameter fuzz", CheckFuzz, 180},
};

bool IsStatus(char letter) {
    return letter == static_cast<char>(Status::Pass) || letter == static_cast<char>(Status::Fail) ||
           letter == static_cast<char>(Status::Skip);
}

// What a check answers its parent: the status letter and the detail.
std::string Answer(const Check& check, const Subject& subject) {
    try {
        const Outcome outcome = check.run(subject);
        return static_cast<char>(outcome.status) + outcome.detail;
    } catch (const HostError& error) {
        return static_cast<char>(Status::Fail) + std::string("expected the check to run; seen ") + error.what();
    }
}

// Runs one check in a child process; a crash, a hang, an exit or an escaped exception fails it.
Outcome RunCheck(const Check& check, const Subject& subject, double timeoutFactor) {
    const int timeout = static_cast<int>(check.timeoutSeconds * timeoutFactor + 0.5);
    const IsolatedResult result = RunIsolated(
        {[&] { return Answer(check, subject); },
         {"validate", subject.path, "--seed", std::to_string(subject.seed), "--timeout-factor", ExactText(timeoutFactor),
          "--run-check", check.name}},
        timeout);
    if (!result.completed) return Failed("the check '" + std::string(check.name) + "' to finish", result.text);
    if (result.text.empty() || !IsStatus(result.text.front()))
        return Failed("the check '" + std::string(check.name) + "' to give a verdict", "'" + result.text + "'");
    return {static_cast<Status>(result.text.front()), result.text.substr(1)};
}

void PrintLine(const std::string& name, const Outcome& outcome) {
    const char* word = outcome.status == Status::Pass ? "PASS" : outcome.status == Status::Fail ? "FAIL" : "SKIP";
    std::printf("%s  %-36s %s\n", word, name.c_str(), outcome.detail.c_str());
    std::fflush(stdout);
}

}  // namespace

int RunValidate(const ValidateOptions& options) {
    CheckPluginFile(options.plugin);  // a file that cannot be a plug-in is an error, not a failed check
    const Subject subject{options.plugin, options.seed, options.timeoutFactor};
    if (!options.runCheck.empty()) {
        for (const Check& check : kChecks)
            if (options.runCheck == check.name) AnswerParent([&] { return Answer(check, subject); }, options.answerChannel);
        throw HostError("there is no check named '" + options.runCheck + "'");
    }
    std::printf("validating %s (seed %u)\n", options.plugin.c_str(), options.seed);
    const Check& load = kChecks[0];
    const Outcome loaded = RunCheck(load, subject, options.timeoutFactor);
    PrintLine(load.name, loaded);
    if (loaded.status != Status::Pass) {
        std::printf("the other checks need an instance: stopped\n");
        return 1;
    }
    int passed = 1, failed = 0, skipped = 0;
    for (const Check& check : std::span(kChecks).subspan(1)) {
        const Outcome outcome = RunCheck(check, subject, options.timeoutFactor);
        PrintLine(check.name, outcome);
        (outcome.status == Status::Pass ? passed : outcome.status == Status::Fail ? failed : skipped) += 1;
    }
    std::printf("%d checks: %d passed, %d failed, %d skipped\n", passed + failed + skipped, passed, failed, skipped);
    return failed == 0 ? 0 : 1;
}

}  // namespace vsthost
