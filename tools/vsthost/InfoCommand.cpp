#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "tools/vsthost/Commands.h"

namespace vsthost {

namespace {

constexpr double kInfoSampleRate = 44100.0;
constexpr int kInfoBlockSize = 512;

constexpr const char* kCapabilities[] = {"bypass",           "midiProgramNames",    "offline",
                                         "receiveVstTimeInfo", "receiveVstMidiEvent", "receiveVstEvents",
                                         "sendVstMidiEvent", "sendVstEvents"};

constexpr struct {
    VstInt32 bit;
    const char* name;
} kFlagNames[] = {{effFlagsHasEditor, "HasEditor"},         {effFlagsHasClip, "HasClip"},
                  {effFlagsHasVu, "HasVu"},                 {effFlagsCanMono, "CanMono"},
                  {effFlagsCanReplacing, "CanReplacing"},   {effFlagsProgramChunks, "ProgramChunks"},
                  {effFlagsIsSynth, "IsSynth"},             {effFlagsNoSoundInStop, "NoSoundInStop"},
                  {effFlagsExtIsAsync, "ExtIsAsync"},       {effFlagsExtHasBuffer, "ExtHasBuffer"},
                  {effFlagsCanDoubleReplacing, "CanDoubleReplacing"}};

constexpr const char* kCategories[] = {"unknown",  "effect",           "synth",      "analysis",
                                       "mastering", "spacializer",     "room fx",    "surround fx",
                                       "restoration", "offline process", "shell",      "generator"};

std::string Hex(VstInt32 value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

// A four-character code as text, dots for bytes that do not print.
std::string FourCharacters(VstInt32 value) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((static_cast<unsigned>(value) >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    return text;
}

const char* CapabilityAnswer(VstIntPtr answer) { return answer > 0 ? "yes" : answer < 0 ? "no" : "unknown"; }

std::vector<std::string> ProgramNames(Plugin& plugin, int count) {
    std::vector<std::string> names;
    const VstIntPtr current = plugin.dispatch(effGetProgram);
    for (int p = 0; p < count; ++p) {
        char name[1024] = {};
        if (plugin.dispatch(effGetProgramNameIndexed, p, -1, name) == 0) {
            // No indexed names: select the program and ask for the current name.
            plugin.dispatch(effSetProgram, 0, p);
            names.push_back(plugin.programName());
        } else {
            name[sizeof name - 1] = '\0';
            names.emplace_back(name);
        }
    }
    if (count > 0) plugin.dispatch(effSetProgram, 0, current);
    return names;
}

nlohmann::json Describe(const PluginBinary& binary, Instance& instance) {
    Plugin& plugin = instance.plugin();
    const AEffect& fields = instance.fields();
    nlohmann::json flags = nlohmann::json::array();
    for (const auto& flag : kFlagNames)
        if ((fields.flags & flag.bit) != 0) flags.push_back(flag.name);
    const VstIntPtr category = plugin.dispatch(effGetPlugCategory);
    nlohmann::json capabilities = nlohmann::json::object();
    for (const char* capability : kCapabilities) capabilities[capability] = CapabilityAnswer(plugin.canDo(capability));
    nlohmann::json parameters = nlohmann::json::array();
    for (int p = 0; p < fields.numParams; ++p) {
        parameters.push_back({{"index", p},
                              {"name", plugin.parameterName(p)},
                              {"label", plugin.parameterLabel(p)},
                              {"value", plugin.getParameter(p)},
                              {"display", plugin.parameterDisplay(p)},
                              {"automatable", plugin.dispatch(effCanBeAutomated, p) != 0}});
    }
    nlohmann::json programs = nlohmann::json::array();
    int index = 0;
    for (const std::string& name : ProgramNames(plugin, fields.numPrograms))
        programs.push_back({{"index", index++}, {"name", name}});
    return {{"path", binary.path()},
            {"entry", binary.entryName()},
            {"magic", Hex(fields.magic)},
            {"uniqueId", fields.uniqueID},
            {"uniqueIdText", FourCharacters(fields.uniqueID)},
            {"version", fields.version},
            {"effectName", plugin.effectName()},
            {"vendor", plugin.vendorString()},
            {"product", plugin.productString()},
            {"vendorVersion", plugin.dispatch(effGetVendorVersion)},
            {"vstVersion", plugin.dispatch(effGetVstVersion)},
            {"category", category},
            {"categoryName", category >= 0 && category < static_cast<VstIntPtr>(std::size(kCategories))
                                 ? kCategories[category]
                                 : "(not a known category)"},
            {"inputs", fields.numInputs},
            {"outputs", fields.numOutputs},
            {"initialDelay", fields.initialDelay},
            {"tailSize", plugin.dispatch(effGetTailSize)},
            {"flags", fields.flags},
            {"flagNames", flags},
            {"processDoubleReplacing", instance.offersDouble()},
            {"capabilities", capabilities},
            {"programs", programs},
            {"parameters", parameters}};
}

void PrintText(const nlohmann::json& info) {
    auto line = [](const char* label, const std::string& value) { std::printf("%-16s %s\n", label, value.c_str()); };
    auto text = [&](const char* key) { return info[key].get<std::string>(); };
    auto number = [&](const char* key) { return std::to_string(info[key].get<long long>()); };
    line("plug-in", text("path"));
    line("entry", text("entry"));
    line("effect name", text("effectName"));
    line("vendor", text("vendor"));
    line("product", text("product"));
    line("vendor version", number("vendorVersion"));
    line("VST version", number("vstVersion"));
    line("magic", text("magic"));
    line("unique ID", number("uniqueId") + " ('" + text("uniqueIdText") + "')");
    line("version", number("version"));
    line("category", number("category") + " (" + text("categoryName") + ")");
    line("inputs", number("inputs"));
    line("outputs", number("outputs"));
    line("initial delay", number("initialDelay"));
    line("tail size", number("tailSize"));
    std::string flags = Hex(info["flags"].get<VstInt32>());
    for (const auto& name : info["flagNames"]) flags += " " + name.get<std::string>();
    line("flags", flags);
    line("double precision", info["processDoubleReplacing"].get<bool>() ? "yes" : "no");
    std::string capabilities;
    for (const auto& [name, answer] : info["capabilities"].items())
        capabilities += (capabilities.empty() ? "" : ", ") + name + " " + answer.get<std::string>();
    line("can do", capabilities);
    std::printf("programs (%zu)\n", info["programs"].size());
    for (const auto& program : info["programs"])
        std::printf("  %3d  %s\n", program["index"].get<int>(), program["name"].get<std::string>().c_str());
    std::printf("parameters (%zu)\n", info["parameters"].size());
    std::printf("  %3s  %-24s %-10s %-10s %s\n", "#", "name", "label", "value", "display");
    for (const auto& parameter : info["parameters"]) {
        std::printf("  %3d  %-24s %-10s %-10.6f %s\n", parameter["index"].get<int>(),
                    parameter["name"].get<std::string>().c_str(), parameter["label"].get<std::string>().c_str(),
                    parameter["value"].get<double>(), parameter["display"].get<std::string>().c_str());
    }
}

}  // namespace

int RunInfo(const InfoOptions& options) {
    const PluginBinary binary(options.plugin);
    nlohmann::json info;
    {
        Instance instance(binary);
        instance.open(kInfoSampleRate, kInfoBlockSize);
        info = Describe(binary, instance);
    }
    if (options.json) {
        // Plug-in texts are bytes in no declared encoding: invalid UTF-8 is replaced, not refused.
        std::cout << info.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
        PrintText(info);
    }
    return 0;
}

}  // namespace vsthost
