// The validate command: every check in one table, each run in a child process, one line each, or a
// report for machines (JSON, JUnit XML).
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "tools/support/Text.h"
#include "tools/vsthost/Commands.h"
#include "tools/vsthost/Isolation.h"
#include "tools/vsthost/ValidateChecks.h"
#include "tools/vsthost/ValidateReport.h"

namespace vsthost {

namespace {

using namespace validate;

struct Check {
    std::string id;    // what --only and --skip take; the processing checks share theirs
    std::string name;  // unique
    std::string expects;
    std::function<Outcome(const Subject&)> run;
    // What the check's work takes a plug-in that is slow but not stuck, with room for a loaded
    // machine: beyond it the check is taken to hang.
    int timeoutSeconds;
};

constexpr const char* kLoadId = "load";
constexpr const char* kProcessingId = "processing";

// Every check in the order they run and print, one processing check per sample rate. The first makes
// an instance: when it fails, the others cannot run.
std::vector<Check> AllChecks(const std::vector<double>& sampleRates) {
    std::vector<Check> checks = {
        {kLoadId, "load and instantiate", "the binary to load and give an instance", CheckLoad, 60},
        {"open-close-cold", "open and close, cold",
         "finite output from instances opened and closed, the binary loaded afresh each time", CheckColdOpenClose, 120},
        {"open-close-warm", "open and close, warm",
         "finite output from instances opened and closed, the binary kept loaded", CheckWarmOpenClose, 120},
        {"instances", "several instances at once",
         "equal output from two instances with equal settings, a third with others between them",
         CheckSeveralInstances, 90},
        {"info", "info", "consistent counts, flags, entry points and normalised parameter values", CheckInfo, 60},
        {"texts", "text buffers", "every text terminated within its published size", CheckTextBuffers, 60},
        {"programs", "programs", "every program selectable and reported as selected", CheckPrograms, 60},
    };
    for (const double rate : sampleRates)
        checks.push_back({kProcessingId, "processing at " + Number(rate) + " Hz",
                          "finite, normal output for noise in every block size",
                          [rate](const Subject& subject) { return CheckProcessingAt(subject, rate); }, 180});
    const std::vector<Check> rest = {
        {"zero-frames", "0-frame blocks", "0-frame calls to leave the outputs untouched", CheckZeroFrames, 60},
        {"in-place", "in-place buffers", "in-place output equal to separate-buffer output", CheckInPlace, 90},
        {"sub-block-automation", "sub-block automation", "finite, normal output with parameters changed within blocks",
         CheckSubBlockAutomation, 120},
        {"second-thread", "parameters from a second thread",
         "finite, normal output with parameters changed from a second thread", CheckSecondThread, 90},
        {"state", "state save and load", "a saved state to load into another instance with equal values and output",
         CheckState, 90},
        {"allocations", "heap allocations during processing", "no heap allocation while processing", CheckAllocations,
         60},
        {"fuzz", "parameter fuzz", "parameter values kept in 0..1 and finite output for random values", CheckFuzz, 180},
    };
    checks.insert(checks.end(), rest.begin(), rest.end());
    return checks;
}

bool Names(const Check& check, const std::string& name) { return name == check.id || name == check.name; }

// The checks --only and --skip leave; a name that is no check's is an error that lists them all.
std::vector<Check> Selected(std::vector<Check> checks, const ValidateOptions& options) {
    for (const auto* names : {&options.only, &options.skip})
        for (const std::string& name : *names) {
            bool known = false;
            for (const Check& check : checks) known = known || Names(check, name);
            if (known) continue;
            std::string list;
            for (std::size_t i = 0; i < checks.size(); ++i)
                if (i == 0 || checks[i].id != checks[i - 1].id) list += (i == 0 ? " " : ", ") + checks[i].id;
            throw HostError("there is no check named '" + name + "'; the checks are:" + list);
        }
    std::vector<Check> selected;
    for (Check& check : checks) {
        bool wanted = options.only.empty();
        for (const std::string& name : options.only) wanted = wanted || Names(check, name);
        for (const std::string& name : options.skip) wanted = wanted && !Names(check, name);
        if (wanted) selected.push_back(std::move(check));
    }
    if (selected.empty()) throw HostError("--only and --skip leave no check to run");
    return selected;
}

bool IsStatus(char letter) {
    return letter == static_cast<char>(Status::Pass) || letter == static_cast<char>(Status::Fail) ||
           letter == static_cast<char>(Status::Skip);
}

constexpr char kSeparator = '\x1f';  // between what was expected and what was seen in an answer

// What a check answers its parent: the status letter, the expectation, the separator and what was seen.
std::string Answer(const Check& check, const Subject& subject) {
    const Outcome outcome = [&] {
        try {
            return check.run(subject);
        } catch (const HostError& error) {
            return Failed("the check to run", error.what());
        }
    }();
    return static_cast<char>(outcome.status) + outcome.expected + kSeparator + outcome.seen;
}

std::vector<std::string> ChildArguments(const Check& check, const Subject& subject, const std::vector<double>& rates) {
    std::vector<std::string> arguments = {"validate", subject.path, "--seed", std::to_string(subject.seed),
                                          "--timeout-factor", ExactText(subject.timeoutFactor), "--run-check", check.name};
    for (const double rate : rates) arguments.insert(arguments.end(), {"--sample-rates", ExactText(rate)});
    for (const int block : subject.blockSizes) arguments.insert(arguments.end(), {"--block-sizes", std::to_string(block)});
    return arguments;
}

// Runs one check in a child process; a crash, a hang, an exit or an escaped exception fails it.
Outcome RunCheck(const Check& check, const Subject& subject, const std::vector<double>& rates) {
    const int timeout = static_cast<int>(check.timeoutSeconds * subject.timeoutFactor + 0.5);
    const IsolatedResult result =
        RunIsolated({[&] { return Answer(check, subject); }, ChildArguments(check, subject, rates)}, timeout);
    if (!result.completed) return Failed("the check '" + check.name + "' to finish", result.text);
    const std::size_t separator = result.text.find(kSeparator);
    if (result.text.empty() || !IsStatus(result.text.front()) || separator == std::string::npos)
        return Failed("the check '" + check.name + "' to give a verdict", "'" + result.text + "'");
    return {static_cast<Status>(result.text.front()), result.text.substr(1, separator - 1),
            result.text.substr(separator + 1)};
}

void PrintLine(const std::string& name, const Outcome& outcome) {
    const char* word = outcome.status == Status::Pass ? "PASS" : outcome.status == Status::Fail ? "FAIL" : "SKIP";
    std::printf("%s  %-36s %s\n", word, name.c_str(), outcome.text().c_str());
    std::fflush(stdout);
}

}  // namespace

int RunValidate(const ValidateOptions& options) {
    CheckPluginFile(options.plugin);  // a file that cannot be a plug-in is an error, not a failed check
    const std::vector<double> rates = options.sampleRates.empty()
                                          ? std::vector<double>(std::begin(kDefaultSampleRates), std::end(kDefaultSampleRates))
                                          : options.sampleRates;
    const std::vector<int> blocks = options.blockSizes.empty()
                                        ? std::vector<int>(std::begin(kDefaultBlockSizes), std::end(kDefaultBlockSizes))
                                        : options.blockSizes;
    for (std::size_t i = 0; i < rates.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (Number(rates[i]) == Number(rates[j]))
                throw HostError("the sample rate " + Number(rates[i]) + " is given twice");
    const Subject subject{options.plugin, options.seed, options.timeoutFactor, blocks};
    const std::vector<Check> all = AllChecks(rates);
    if (!options.runCheck.empty()) {
        for (const Check& check : all)
            if (options.runCheck == check.name) AnswerParent([&] { return Answer(check, subject); }, options.answerChannel);
        throw HostError("there is no check named '" + options.runCheck + "'");
    }
    const std::vector<Check> checks = Selected(all, options);
    // Opened before the checks run, so a path that cannot be written fails at once and not after them.
    std::ofstream junit;
    if (!options.junitFile.empty()) {
        junit.open(options.junitFile, std::ios::binary | std::ios::trunc);
        if (!junit) throw HostError("cannot write the JUnit report to '" + options.junitFile + "'");
    }
    if (!options.json) std::printf("validating %s (seed %u)\n", options.plugin.c_str(), options.seed);
    ValidateRun run{options.plugin, options.seed, rates, blocks, {}, false};
    for (const Check& check : checks) {
        const auto start = std::chrono::steady_clock::now();
        const Outcome outcome = RunCheck(check, subject, rates);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        run.checks.push_back({check.id, check.name, outcome.status == Status::Fail ? outcome.expected : check.expects,
                              outcome, took.count()});
        if (!options.json) PrintLine(check.name, outcome);
        if (check.id == kLoadId && outcome.status != Status::Pass) {
            run.stopped = true;
            if (!options.json) std::printf("the other checks need an instance: stopped\n");
            break;
        }
    }
    int passed = 0, failed = 0, skipped = 0;
    for (const CheckRecord& check : run.checks)
        (check.outcome.status == Status::Pass ? passed : check.outcome.status == Status::Fail ? failed : skipped) += 1;
    if (options.json)
        std::fputs(JsonReport(run).c_str(), stdout);
    else if (!run.stopped)
        std::printf("%d checks: %d passed, %d failed, %d skipped\n", passed + failed + skipped, passed, failed, skipped);
    if (junit.is_open()) {
        junit << JUnitReport(run);
        junit.close();
        if (!junit) throw HostError("cannot write the JUnit report to '" + options.junitFile + "'");
    }
    return failed == 0 ? 0 : 1;
}

}  // namespace vsthost
