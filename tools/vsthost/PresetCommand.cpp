// preset show and preset convert: what a preset file holds, and raw chunks wrapped in or taken out of
// the preset formats for a given plug-in.
#include <algorithm>
#include <cstdio>

#include "tools/vsthost/Commands.h"
#include "tools/vsthost/OutputFile.h"
#include "tools/vsthost/PresetHost.h"

namespace vsthost {

namespace {

constexpr std::size_t kBytesShown = 16;
constexpr double kShowSampleRate = 48000.0;
constexpr int kShowBlockSize = 512;

const char* KindText(PresetKind kind) {
    switch (kind) {
        case PresetKind::kProgramChunk: return "program, chunk";
        case PresetKind::kProgramParams: return "program, parameters";
        case PresetKind::kBankChunk: return "bank, chunk";
        case PresetKind::kBankPrograms: return "bank, programs";
    }
    return "";
}

std::string FirstBytes(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char hex[4];
    for (std::size_t i = 0; i < std::min(bytes.size(), kBytesShown); ++i) {
        std::snprintf(hex, sizeof hex, "%s%02x", i == 0 ? "" : " ", bytes[i]);
        text += hex;
    }
    return text + (bytes.size() > kBytesShown ? " ..." : "");
}

// Nine significant digits read back as the same float.
void PrintParameters(const std::vector<float>& values, const char* indent) {
    for (std::size_t i = 0; i < values.size(); ++i)
        std::printf("%sparameter %zu: %.9g\n", indent, i, static_cast<double>(values[i]));
}

void PrintHeader(const Preset& preset, std::size_t fileSize) {
    std::printf("magic: %s (%s)\n", MagicOf(preset.kind), KindText(preset.kind));
    const auto expected = static_cast<long long>(fileSize) - 8;
    std::printf("byte size: %d%s\n", preset.byteSize,
                preset.byteSize == expected       ? ""
                : preset.byteSize == expected + 8 ? " (8 more than the file holds, as some writers put it)"
                                                  : " (the file holds a different size; the contents decide)");
    std::printf("version: %d\n", preset.version);
    std::printf("plug-in ID: %s\n", FxIdText(preset.fxId).c_str());
    std::printf("plug-in version: %d\n", preset.fxVersion);
    if (IsBank(preset.kind)) {
        std::printf("programs: %d\n", preset.count);
        if (preset.version >= 2) std::printf("current program: %d\n", preset.currentProgram);
    } else {
        std::printf("parameters: %d\n", preset.count);
        std::printf("name: \"%s\"\n", preset.name.c_str());
    }
    if (HoldsChunk(preset.kind)) {
        std::printf("chunk: %zu bytes: %s\n", preset.chunk.size(), FirstBytes(preset.chunk).c_str());
    } else if (preset.kind == PresetKind::kProgramParams) {
        PrintParameters(preset.parameters, "");
    } else {
        for (std::size_t i = 0; i < preset.programs.size(); ++i) {
            std::printf("program %zu: \"%s\"\n", i, preset.programs[i].name.c_str());
            PrintParameters(preset.programs[i].parameters, "  ");
        }
    }
}

// The plug-in's parameters as it displays them after loading the file.
void PrintLoaded(const PresetOptions& options) {
    CheckPluginFile(options.plugin);
    const PluginBinary binary(options.plugin);
    Instance instance(binary);
    instance.open(kShowSampleRate, kShowBlockSize);
    LoadPresetFile(instance, options.input, "", options.force);
    const Plugin& plugin = instance.plugin();
    std::printf("loaded into '%s', program \"%s\":\n", plugin.effectName().c_str(), plugin.programName().c_str());
    for (int i = 0; i < instance.fields().numParams; ++i)
    {
        const std::string label = plugin.parameterLabel(i);
        std::printf("  %s = %s%s%s\n", instance.parameterTitle(i).c_str(), plugin.parameterDisplay(i).c_str(),
                    label.empty() ? "" : " ", label.c_str());
    }
}

int Show(const PresetOptions& options) {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(options.input, "preset file");
    const Preset preset = [&] {
        try {
            return ParsePreset(bytes);
        } catch (const HostError& error) {
            throw HostError("'" + options.input + "': " + error.what());
        }
    }();
    std::printf("file: %s (%zu bytes)\n", options.input.c_str(), bytes.size());
    PrintHeader(preset, bytes.size());
    if (!options.plugin.empty()) PrintLoaded(options);
    return 0;
}

int Convert(const PresetOptions& options) {
    CheckPluginFile(options.plugin);
    const PluginBinary binary(options.plugin);
    Instance instance(binary);
    instance.open(kShowSampleRate, kShowBlockSize);
    const AEffect& fields = instance.fields();
    if ((fields.flags & effFlagsProgramChunks) == 0)
        throw HostError("the plug-in keeps no chunks (flag effFlagsProgramChunks), so there is no raw chunk to convert");
    const PresetFormat from = PresetFormatFor(options.input, options.inputFormat, true);
    const PresetFormat to = PresetFormatFor(options.output, options.format, true);
    const std::vector<std::uint8_t> bytes = ReadFileBytes(options.input, "preset file");

    std::vector<std::uint8_t> written;
    if (from != PresetFormat::kRawChunk) {
        Preset preset;
        try {
            preset = ParsePreset(bytes);
        } catch (const HostError& error) {
            throw HostError("'" + options.input + "': " + error.what());
        }
        if ((from == PresetFormat::kBank) != IsBank(preset.kind))
            throw HostError("'" + options.input + "' holds a " + (IsBank(preset.kind) ? "bank" : "program") +
                            ", not what its name or --input-format says");
        CheckPresetOwner(preset, fields, options.input, options.force);
        if (!HoldsChunk(preset.kind))
            throw HostError("'" + options.input + "' holds parameter values, not a chunk");
        // A program's chunk and a bank's are different things to the plug-in: never one for the other.
        if (to != PresetFormat::kRawChunk && to != from)
            throw HostError("'" + options.input + "' holds a " + (IsBank(preset.kind) ? "bank" : "program") +
                            " chunk, which cannot become a " + (to == PresetFormat::kBank ? "bank" : "program"));
        written = to == PresetFormat::kRawChunk ? preset.chunk : SerializePreset(preset);
    } else {
        if (to == PresetFormat::kRawChunk)
            throw HostError("both '" + options.input + "' and '" + options.output +
                            "' are raw chunks by their names: name the preset .fxp/.fxb, or use --input-format/--preset-format");
        if (bytes.empty()) throw HostError("the chunk file '" + options.input + "' is empty");
        Preset preset = CapturePresetHeader(instance, to);
        preset.chunk = bytes;
        if (!options.name.empty()) preset.name = options.name;
        written = SerializePreset(preset);
    }
    WriteFileAtomically(options.output, written.data(), written.size());
    std::printf("wrote %zu bytes to %s\n", written.size(), options.output.c_str());
    return 0;
}

}  // namespace

int RunPreset(const PresetOptions& options) { return options.convert ? Convert(options) : Show(options); }

}  // namespace vsthost
