#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>

#include "tools/support/ChannelBuffers.h"
#include "tools/support/Precision.h"
#include "tools/vsthost/Commands.h"

namespace vsthost {

namespace {

struct Subject {
    std::unique_ptr<PluginBinary> binary;
    std::unique_ptr<Instance> instance;
    std::unique_ptr<ChannelBuffers<float>> inFloat, outFloat;
    std::unique_ptr<ChannelBuffers<double>> inDouble, outDouble;
    std::vector<double> floatRounds, doubleRounds;  // ns per frame, one entry per round
};

// Nanoseconds per frame of processing at least framesPerRound frames in whole blocks.
template <typename Sample>
double TimeRound(Instance& instance, ChannelBuffers<Sample>& in, ChannelBuffers<Sample>& out, int framesPerRound) {
    const int block = in.frames();
    int done = 0;
    const auto start = std::chrono::steady_clock::now();
    for (; done < framesPerRound; done += block) {
        ProcessReplacing(instance.plugin().aeffect(), in.pointers(), out.pointers(), block);
        instance.advance(block);
    }
    const auto elapsed = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start);
    return elapsed.count() / static_cast<double>(done);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : 0.5 * (values[middle - 1] + values[middle]);
}

}  // namespace

int RunBench(const BenchOptions& options) {
    if (options.plugins.empty()) throw HostError("bench needs at least one plug-in");
    if (options.blockSize < 1 || options.rounds < 1 || options.framesPerRound < options.blockSize)
        throw HostError("bench needs a block size of at least 1, at least 1 round and at least one block per round");
    std::mt19937 random(1);
    std::vector<Subject> subjects(options.plugins.size());
    for (std::size_t i = 0; i < subjects.size(); ++i) {
        Subject& subject = subjects[i];
        subject.binary = std::make_unique<PluginBinary>(options.plugins[i]);
        subject.instance = std::make_unique<Instance>(*subject.binary);
        Instance& instance = *subject.instance;
        if (instance.fields().processReplacing == nullptr)
            throw HostError("plug-in '" + options.plugins[i] + "' offers no processReplacing");
        instance.open(options.sampleRate, options.blockSize);
        std::vector<ParameterSetting> settings;
        for (const BenchSetting& setting : options.settings) {
            if (setting.plugin < 0 || setting.plugin >= static_cast<int>(subjects.size()))
                throw HostError("parameter setting '" + setting.setting.key + "=" + setting.setting.value +
                                "' names plug-in " + std::to_string(setting.plugin + 1) + ", but " +
                                std::to_string(subjects.size()) + " were given");
            if (setting.plugin == static_cast<int>(i)) settings.push_back(setting.setting);
        }
        ApplySettings(instance, settings);
        instance.resume();
        subject.inFloat = std::make_unique<ChannelBuffers<float>>(instance.inputs(), options.blockSize);
        subject.outFloat = std::make_unique<ChannelBuffers<float>>(instance.outputs(), options.blockSize);
        subject.inFloat->fillNoise(random);
        if (instance.offersDouble()) {
            subject.inDouble = std::make_unique<ChannelBuffers<double>>(instance.inputs(), options.blockSize);
            subject.outDouble = std::make_unique<ChannelBuffers<double>>(instance.outputs(), options.blockSize);
            subject.inDouble->fillNoise(random);
        }
    }
    // One untimed round warms caches and lets plug-ins finish lazy set-up; then the plug-ins take turns
    // within every round, starting with a different one each time, so drifts in machine load hit all alike.
    for (int round = -1; round < options.rounds; ++round) {
        for (std::size_t turn = 0; turn < subjects.size(); ++turn) {
            Subject& subject = subjects[(turn + static_cast<std::size_t>(std::max(round, 0))) % subjects.size()];
            const double floatTime = TimeRound(*subject.instance, *subject.inFloat, *subject.outFloat, options.framesPerRound);
            if (round >= 0) subject.floatRounds.push_back(floatTime);
            if (subject.inDouble) {
                const double doubleTime =
                    TimeRound(*subject.instance, *subject.inDouble, *subject.outDouble, options.framesPerRound);
                if (round >= 0) subject.doubleRounds.push_back(doubleTime);
            }
        }
    }
    nlohmann::json results = nlohmann::json::array();
    for (const Subject& subject : subjects) {
        const int channels = std::max(subject.instance->inputs(), subject.instance->outputs());
        auto add = [&](const char* precision, const std::vector<double>& rounds) {
            if (rounds.empty()) return;
            const double median = Median(rounds), fastest = *std::min_element(rounds.begin(), rounds.end());
            results.push_back({{"plugin", subject.binary->path()},
                               {"effectName", subject.instance->plugin().effectName()},
                               {"channels", channels},
                               {"precision", precision},
                               {"nsPerFrame", median},
                               {"nsPerFrameFastest", fastest},
                               {"nsPerChannelFrame", median / std::max(channels, 1)},
                               {"nsPerChannelFrameFastest", fastest / std::max(channels, 1)}});
        };
        add("float", subject.floatRounds);
        add("double", subject.doubleRounds);
    }
    if (options.json) {
        nlohmann::json report = {{"blockSize", options.blockSize},
                                 {"sampleRate", options.sampleRate},
                                 {"rounds", options.rounds},
                                 {"framesPerRound", options.framesPerRound},
                                 {"results", results}};
        std::cout << report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return 0;
    }
    std::printf("blocks of %d frames at %g Hz, noise input; %d rounds of %d frames, plug-ins interleaved\n",
                options.blockSize, options.sampleRate, options.rounds, options.framesPerRound);
    std::printf("median per round (fastest round in brackets)\n");
    std::printf("%-32s %8s %-9s %22s %22s\n", "plug-in", "channels", "precision", "ns/frame", "ns/channel-frame");
    for (const auto& result : results) {
        const std::string name = std::filesystem::path(result["plugin"].get<std::string>()).filename().string();
        char perFrame[64], perChannelFrame[64];
        std::snprintf(perFrame, sizeof perFrame, "%.3f (%.3f)", result["nsPerFrame"].get<double>(),
                      result["nsPerFrameFastest"].get<double>());
        std::snprintf(perChannelFrame, sizeof perChannelFrame, "%.3f (%.3f)", result["nsPerChannelFrame"].get<double>(),
                      result["nsPerChannelFrameFastest"].get<double>());
        std::printf("%-32s %8d %-9s %22s %22s\n", name.c_str(), result["channels"].get<int>(),
                    result["precision"].get<std::string>().c_str(), perFrame, perChannelFrame);
    }
    return 0;
}

}  // namespace vsthost
