// State checks: selecting and reading back programs, and the state chunk saved, scrambled and loaded.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "tools/vsthost/ValidateChecks.h"

namespace vsthost::validate {

namespace {

constexpr int kMaxProgramsChecked = 128;

// How far the normalised values of two instances that loaded the same state may lie apart: plug-ins
// that store a parameter in its own units map it back through float arithmetic.
constexpr float kStateValueTolerance = 1e-4f;

std::vector<std::string> Displays(const Instance& instance) {
    std::vector<std::string> texts;
    for (int p = 0; p < instance.fields().numParams; ++p) texts.push_back(instance.plugin().parameterDisplay(p));
    return texts;
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

// The saved state must give back what a user can tell apart: every display text and the output. The
// instance that saved it then loads it too, as a host recalling a preset does: normalised values may
// come back snapped to a parameter's steps (a switch set to 0.42 returns as 0), and from then on
// every instance that loaded the state must agree with it.
Outcome CheckState(const Subject& subject) {
    constexpr int kSettleBlocks = 8, kOutputBlocks = 16;
    std::mt19937 random(subject.seed);
    const PluginBinary binary(subject.path);
    auto original = Started(binary);
    if ((original->fields().flags & effFlagsProgramChunks) == 0)
        return Skipped("the plug-in does not keep its state in chunks (flag ProgramChunks clear)");
    const int count = original->fields().numParams;
    // The twin gets the original's calls; it tells whether two instances agree at all.
    auto twin = Started(binary), restored = Started(binary);
    const std::vector<float> settings = RandomSettings(count, random);
    SetAll(*original, settings);
    SetAll(*twin, settings);
    SetAll(*restored, RandomSettings(count, random));
    ChannelBuffers<float> in(original->inputs(), kDefaultBlock), out(original->outputs(), kDefaultBlock),
        twinOut(original->outputs(), kDefaultBlock), restoredOut(original->outputs(), kDefaultBlock);
    auto processAll = [&] {
        Process(*original, in.pointers(), out.pointers(), kDefaultBlock);
        Process(*twin, in.pointers(), twinOut.pointers(), kDefaultBlock);
        Process(*restored, in.pointers(), restoredOut.pointers(), kDefaultBlock);
    };
    processAll();
    const std::vector<std::string> shown = Displays(*original);
    const std::vector<std::uint8_t> chunk = original->plugin().getChunk();
    if (chunk.empty()) return Failed("a state chunk, since the flag ProgramChunks is set", "none (0 bytes)");
    // Hosts load a state into a suspended instance, as when a project opens.
    for (Instance* instance : {original.get(), twin.get(), restored.get()}) {
        instance->suspend();
        instance->plugin().setChunk(chunk);
        instance->resume();
    }
    // Some plug-ins apply a loaded state over their next processing calls, as hosts run them.
    for (int block = 0; block < kSettleBlocks; ++block) processAll();
    const std::string ofAll = " of " + std::to_string(count) + " parameters differ)";
    for (const auto& [instance, role] : {std::pair{original.get(), "the instance that saved it"},
                                         std::pair{restored.get(), "an instance with other settings"}}) {
        const std::vector<std::string> now = Displays(*instance);
        std::vector<int> other;
        for (int p = 0; p < count; ++p)
            if (now[static_cast<std::size_t>(p)] != shown[static_cast<std::size_t>(p)]) other.push_back(p);
        if (other.empty()) continue;
        const auto first = static_cast<std::size_t>(other.front());
        return Failed(std::string("every parameter to display as saved after ") + role + " loaded the saved state",
                      "parameter " + instance->parameterTitle(other.front()) + " shows '" + now[first] +
                          "' instead of '" + shown[first] + "' (" + std::to_string(other.size()) + ofAll);
    }
    const std::vector<float> reference = GetAll(*original), loaded = GetAll(*restored);
    std::vector<int> otherValue;
    for (std::size_t p = 0; p < reference.size(); ++p)
        if (!(std::fabs(loaded[p] - reference[p]) <= kStateValueTolerance)) otherValue.push_back(static_cast<int>(p));
    if (!otherValue.empty()) {
        const auto first = static_cast<std::size_t>(otherValue.front());
        return Failed("every normalised value within " + Number(kStateValueTolerance) +
                          " of the saving instance's once both loaded the state",
                      "parameter " + restored->parameterTitle(otherValue.front()) + " = " + Number(loaded[first]) +
                          " instead of " + Number(reference[first]) + " (" + std::to_string(otherValue.size()) + ofAll);
    }
    std::optional<std::string> instancesDiffer, restoredDiffers;
    for (int block = 0; block < kOutputBlocks && !restoredDiffers; ++block) {
        in.fillNoise(random);
        processAll();
        if (!instancesDiffer) instancesDiffer = FirstDifference(out, twinOut, out.channels(), kDefaultBlock);
        if (!instancesDiffer) restoredDiffers = FirstDifference(out, restoredOut, out.channels(), kDefaultBlock);
        if (restoredDiffers) *restoredDiffers = "block " + std::to_string(block) + " " + *restoredDiffers;
    }
    if (restoredDiffers)
        return Failed("the same output as the instance whose state was saved", *restoredDiffers + " (saved, loaded)");
    return Passed("save, scramble " + std::to_string(count) + " parameters, load a " + std::to_string(chunk.size()) +
                  "-byte state: every display text as saved, normalised values within " +
                  Number(kStateValueTolerance) + ", " +
                  (instancesDiffer ? "output not compared (two identical instances differ)" : "output identical"));
}

}  // namespace vsthost::validate
