#include "tools/vsthost/PresetHost.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "tools/support/Text.h"

namespace vsthost {

namespace {

bool KeepsChunks(const AEffect& fields) { return (fields.flags & effFlagsProgramChunks) != 0; }

std::string FormatWord(PresetFormat format) {
    return format == PresetFormat::kProgram ? "fxp" : format == PresetFormat::kBank ? "fxb" : "chunk";
}

// A count in the file that the plug-in does not match is an error unless forced, then the common part loads.
void CheckCount(std::int32_t inFile, std::int32_t inPlugin, const char* what, bool force) {
    if (inFile == inPlugin) return;
    const std::string message = "the preset holds " + std::to_string(inFile) + " " + what + ", the plug-in has " +
                                std::to_string(inPlugin);
    if (!force) throw HostError(message + " (--force loads the ones both have)");
    std::fprintf(stderr, "vsthost: warning: %s; loading the ones both have\n", message.c_str());
}

void SetParameters(const Plugin& plugin, const std::vector<float>& values) {
    const auto count = std::min<std::size_t>(values.size(), static_cast<std::size_t>(plugin.fields().numParams));
    for (std::size_t i = 0; i < count; ++i) plugin.setParameter(static_cast<VstInt32>(i), values[i]);
}

void SetProgramName(const Plugin& plugin, const std::string& name) {
    char text[kVstMaxProgNameLen + 1] = {};
    name.copy(text, kVstMaxProgNameLen);
    plugin.dispatch(effSetProgramName, 0, 0, text);
}

std::vector<float> ParametersOf(const Plugin& plugin) {
    std::vector<float> values(static_cast<std::size_t>(std::max(plugin.fields().numParams, 0)));
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = plugin.getParameter(static_cast<VstInt32>(i));
    return values;
}

}  // namespace

PresetFormat PresetFormatFor(const std::string& path, const std::string& formatName, bool rawAllowed) {
    const std::string name = Lowered(formatName);
    if (name == "fxp") return PresetFormat::kProgram;
    if (name == "fxb") return PresetFormat::kBank;
    if (name == "chunk" && rawAllowed) return PresetFormat::kRawChunk;
    if (!name.empty())
        throw HostError("unknown preset format '" + formatName + "': use fxp or fxb" + (rawAllowed ? " or chunk" : ""));
    const auto dot = path.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : Lowered(path.substr(dot + 1));
    if (extension == "fxp") return PresetFormat::kProgram;
    if (extension == "fxb") return PresetFormat::kBank;
    if (rawAllowed) return PresetFormat::kRawChunk;
    throw HostError("cannot tell the preset format of '" + path + "' from its name: use .fxp or .fxb, or --preset-format");
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path, const std::string& what) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw HostError("cannot read " + what + " '" + path + "'");
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) throw HostError("cannot read " + what + " '" + path + "'");
    return bytes;
}

void CheckPresetOwner(const Preset& preset, const AEffect& fields, const std::string& path, bool force) {
    if (preset.fxId == fields.uniqueID) return;
    const std::string message = "the preset '" + path + "' is for the plug-in with ID " + FxIdText(preset.fxId) +
                                ", this plug-in's ID is " + FxIdText(fields.uniqueID);
    if (!force) throw HostError(message + " (--force loads it anyway)");
    std::fprintf(stderr, "vsthost: warning: %s; loading it as asked\n", message.c_str());
}

void LoadPresetFile(Instance& instance, const std::string& path, const std::string& expected, bool force) {
    const Preset preset = [&] {
        try {
            return ParsePreset(ReadFileBytes(path, "preset file"));
        } catch (const HostError& error) {
            throw HostError("'" + path + "': " + error.what());
        }
    }();
    if (!expected.empty()) {
        const PresetFormat wanted = PresetFormatFor(path, expected, false);
        if ((wanted == PresetFormat::kBank) != IsBank(preset.kind))
            throw HostError("'" + path + "' holds a " + (IsBank(preset.kind) ? "bank" : "program") + ", not the " +
                            FormatWord(wanted) + " asked for");
    }
    const Plugin& plugin = instance.plugin();
    const AEffect& fields = plugin.fields();
    CheckPresetOwner(preset, fields, path, force);
    if (HoldsChunk(preset.kind) && !KeepsChunks(fields))
        throw HostError("'" + path + "' holds a chunk, but the plug-in keeps no chunks (flag effFlagsProgramChunks)");
    switch (preset.kind) {
        case PresetKind::kProgramChunk:
            plugin.setChunk(preset.chunk, true);
            break;
        case PresetKind::kBankChunk:
            plugin.setChunk(preset.chunk, false);
            break;
        case PresetKind::kProgramParams:
            CheckCount(preset.count, fields.numParams, "parameters", force);
            SetParameters(plugin, preset.parameters);
            SetProgramName(plugin, preset.name);
            break;
        case PresetKind::kBankPrograms: {
            const std::int32_t slots = std::max(fields.numPrograms, 1);
            CheckCount(preset.count, slots, "programs", force);
            for (const PresetProgram& program : preset.programs)
                CheckCount(static_cast<std::int32_t>(program.parameters.size()), fields.numParams, "parameters", force);
            const auto loaded = std::min<std::size_t>(preset.programs.size(), static_cast<std::size_t>(slots));
            for (std::size_t i = 0; i < loaded; ++i) {
                if (fields.numPrograms > 1) plugin.dispatch(effSetProgram, 0, static_cast<VstIntPtr>(i));
                SetParameters(plugin, preset.programs[i].parameters);
                SetProgramName(plugin, preset.programs[i].name);
            }
            if (fields.numPrograms > 1)
                plugin.dispatch(effSetProgram, 0, std::clamp(preset.currentProgram, 0, fields.numPrograms - 1));
            break;
        }
    }
}

Preset CapturePresetHeader(Instance& instance, PresetFormat format) {
    const Plugin& plugin = instance.plugin();
    const AEffect& fields = plugin.fields();
    const bool bank = format == PresetFormat::kBank;
    Preset preset;
    preset.fxId = fields.uniqueID;
    preset.fxVersion = fields.version;
    if (KeepsChunks(fields))
        preset.kind = bank ? PresetKind::kBankChunk : PresetKind::kProgramChunk;
    else if (fields.numParams > 0)
        preset.kind = bank ? PresetKind::kBankPrograms : PresetKind::kProgramParams;
    else
        throw HostError("the plug-in keeps neither chunks nor parameters: there is no preset to save");
    if (bank) {
        preset.version = 2;
        preset.count = std::max(fields.numPrograms, 1);
        preset.currentProgram = static_cast<std::int32_t>(plugin.dispatch(effGetProgram));
    } else {
        preset.count = fields.numParams;
        preset.name = plugin.programName();
    }
    return preset;
}

Preset CapturePreset(Instance& instance, PresetFormat format) {
    const Plugin& plugin = instance.plugin();
    const AEffect& fields = plugin.fields();
    Preset preset = CapturePresetHeader(instance, format);
    switch (preset.kind) {
        case PresetKind::kProgramChunk:
        case PresetKind::kBankChunk:
            preset.chunk = plugin.getChunk(preset.kind == PresetKind::kProgramChunk);
            if (preset.chunk.empty()) throw HostError("the plug-in gave no chunk to save");
            break;
        case PresetKind::kProgramParams:
            preset.parameters = ParametersOf(plugin);
            break;
        case PresetKind::kBankPrograms:
            // The bank's programs are only reachable by selecting each in turn.
            for (std::int32_t i = 0; i < preset.count; ++i) {
                if (fields.numPrograms > 1) plugin.dispatch(effSetProgram, 0, i);
                preset.programs.push_back({plugin.programName(), ParametersOf(plugin)});
            }
            if (fields.numPrograms > 1) plugin.dispatch(effSetProgram, 0, preset.currentProgram);
            break;
    }
    return preset;
}

}  // namespace vsthost
