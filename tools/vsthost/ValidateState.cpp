// State checks: selecting and reading back programs, and the state chunk saved, scrambled and loaded.
#include <algorithm>
#include <cstdint>
#include <string>

#include "ValidateChecks.h"

namespace vsthost::validate {

namespace {

constexpr int kMaxProgramsChecked = 128;

std::string FirstDifference(const std::vector<std::uint8_t>& expected, const std::vector<std::uint8_t>& seen) {
    if (expected.size() != seen.size())
        return std::to_string(seen.size()) + " bytes instead of " + std::to_string(expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        if (expected[i] != seen[i]) return "a difference at byte " + std::to_string(i) + " of " + std::to_string(expected.size());
    return "no difference";
}

}  // namespace

Outcome CheckPrograms(const Subject& subject) {
    const PluginBinary binary(subject.path);
    Instance instance(binary);
    instance.open(kDefaultRate, kDefaultBlock);
    Plugin& plugin = instance.plugin();
    const int count = std::min(instance.fields().numPrograms, kMaxProgramsChecked);
    if (count == 0) return Passed("no programs");
    std::size_t indexedNames = 0;
    for (int p = 0; p < count; ++p) {
        plugin.dispatch(effSetProgram, 0, p);
        const VstIntPtr current = plugin.dispatch(effGetProgram);
        if (current != p)
            return Failed("effGetProgram to answer " + std::to_string(p) + " after selecting it", std::to_string(current));
        plugin.programName();
        char name[1024] = {};
        if (plugin.dispatch(effGetProgramNameIndexed, p, -1, name) != 0) ++indexedNames;
    }
    plugin.dispatch(effSetProgram, 0, 0);
    return Passed(std::to_string(count) + " programs selected and read back, " + std::to_string(indexedNames) +
                  " named by index");
}

Outcome CheckState(const Subject& subject) {
    std::mt19937 random(subject.seed);
    const PluginBinary binary(subject.path);
    auto instance = Started(binary);
    if ((instance->fields().flags & effFlagsProgramChunks) == 0)
        return Skipped("the plug-in does not keep its state in chunks (flag ProgramChunks clear)");
    const int count = instance->fields().numParams;
    ChannelBuffers<float> in(instance->inputs(), kDefaultBlock), out(instance->outputs(), kDefaultBlock);
    SetAll(*instance, RandomSettings(count, random));
    Process(*instance, in.pointers(), out.pointers(), kDefaultBlock);
    const std::vector<float> saved = GetAll(*instance);
    const std::vector<std::uint8_t> chunk = instance->plugin().getChunk();
    if (chunk.empty()) return Failed("a state chunk, since the flag ProgramChunks is set", "none (0 bytes)");
    SetAll(*instance, RandomSettings(count, random));
    instance->plugin().setChunk(chunk);
    // Some plug-ins apply a loaded state on their next processing call, as hosts give them one.
    Process(*instance, in.pointers(), out.pointers(), kDefaultBlock);
    const std::vector<float> loaded = GetAll(*instance);
    std::vector<int> differing;
    for (int p = 0; p < count; ++p)
        if (loaded[static_cast<std::size_t>(p)] != saved[static_cast<std::size_t>(p)]) differing.push_back(p);
    if (!differing.empty()) {
        const auto first = static_cast<std::size_t>(differing.front());
        return Failed("every parameter as saved after loading the saved state",
                      "parameter " + instance->parameterTitle(differing.front()) + " = " + Number(loaded[first]) +
                          " instead of " + Number(saved[first]) + " (" + std::to_string(differing.size()) + " of " +
                          std::to_string(count) + " parameters differ)");
    }
    const std::vector<std::uint8_t> again = instance->plugin().getChunk();
    if (again != chunk) return Failed("a second save equal to the first", FirstDifference(chunk, again));
    return Passed("save, scramble " + std::to_string(count) + " parameters, load: parameters and a second save (" +
                  std::to_string(chunk.size()) + " bytes) identical");
}

}  // namespace vsthost::validate
