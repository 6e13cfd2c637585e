#include <cstdio>
#include <utility>

#include "tools/vsthost/ValidateChecks.h"

namespace vsthost::validate {

Outcome Passed(std::string detail) { return {Status::Pass, "", std::move(detail)}; }
Outcome Failed(const std::string& expected, const std::string& seen) { return {Status::Fail, expected, seen}; }
Outcome Skipped(std::string why) { return {Status::Skip, "", std::move(why)}; }

std::string Number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

std::string Hex(VstInt32 value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

const char* PrecisionName(bool isDouble) { return isDouble ? "double" : "float"; }

std::unique_ptr<Instance> Started(const PluginBinary& binary, double rate, int block) {
    auto instance = std::make_unique<Instance>(binary);
    instance->open(rate, block);
    instance->resume();
    return instance;
}

std::vector<float> RandomSettings(int count, std::mt19937& random) {
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    std::vector<float> settings(static_cast<std::size_t>(count));
    for (float& setting : settings) setting = value(random);
    return settings;
}

void SetAll(Instance& instance, const std::vector<float>& values) {
    for (std::size_t p = 0; p < values.size(); ++p) instance.plugin().setParameter(static_cast<VstInt32>(p), values[p]);
}

std::vector<float> GetAll(const Instance& instance) {
    std::vector<float> values(static_cast<std::size_t>(instance.fields().numParams));
    for (std::size_t p = 0; p < values.size(); ++p) values[p] = instance.plugin().getParameter(static_cast<VstInt32>(p));
    return values;
}

}  // namespace vsthost::validate
