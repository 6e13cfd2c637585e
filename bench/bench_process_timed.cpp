// bench_process for builds without Google Benchmark (the Windows cross builds): the same cases and
// the same closing table (bench/ProcessCases.h), timed by bench/RoundRobinTimer.h.
//
//   bench_process_timed [REPETITIONS [SECONDS_PER_REPETITION]]     (default 9 and 0.05)
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/ProcessCases.h"
#include "bench/RoundRobinTimer.h"

namespace {

using namespace bench;

template <typename Sample>
void AddCases(std::vector<TimedCase>& cases, const LoadedPlugin& loaded, const char* precision) {
    for (VstInt32 frames : kBlockSizes) {
        if (!ReferenceAgrees<Sample>(loaded, frames)) {
            std::fprintf(stderr, "the reference and the plug-in disagree (%s, %d frames)\n", precision, frames);
            std::exit(1);
        }
        const std::string suffix = std::string(precision) + "/" + std::to_string(frames);
        auto pluginBlock = std::make_shared<Block<Sample>>(frames);
        auto referenceBlock = std::make_shared<Block<Sample>>(frames);
        cases.push_back({"plugin/" + suffix,
                         [&loaded, pluginBlock, frames] {
                             loaded.process(pluginBlock->in.pointers(), pluginBlock->out.pointers(), frames);
                         },
                         static_cast<double>(frames)});
        cases.push_back({"reference/" + suffix,
                         [&loaded, referenceBlock, frames] {
                             ReferenceTrim(referenceBlock->in.pointers(), referenceBlock->out.pointers(), frames,
                                           loaded.gains);
                         },
                         static_cast<double>(frames)});
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::atoi(argv[1]) : 9;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 0.05;
    const LoadedPlugin loaded(TRIM_PLUGIN_PATH);
    std::vector<TimedCase> cases;
    AddCases<float>(cases, loaded, "float");
    AddCases<double>(cases, loaded, "double");
    TimeRoundRobin(cases, repetitions < 1 ? 1 : repetitions, seconds > 0 ? seconds : 0.05);
    std::map<std::string, double> fastest;
    for (const TimedCase& timed : cases) fastest[timed.name] = timed.fastestNanosecondsPerItem;
    PrintProcessRatios(fastest);
    return 0;
}
