// Preset files and a running instance: a program or bank taken from the plug-in and given to it, as
// a chunk when the plug-in keeps chunks (effGetChunk/effSetChunk, index 1 a program, 0 the bank),
// else as parameter values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/vsthost/PluginBinary.h"
#include "tools/vsthost/PresetFile.h"

namespace vsthost {

enum class PresetFormat { kProgram, kBank, kRawChunk };

// The format named by formatName ("fxp", "fxb", "chunk"), else by the path's extension (.fxp, .fxb,
// anything else a raw chunk when rawAllowed). Throws HostError when neither tells.
PresetFormat PresetFormatFor(const std::string& path, const std::string& formatName, bool rawAllowed);

// A whole file's bytes, for preset and state files; throws HostError naming it as WHAT ("preset file").
std::vector<std::uint8_t> ReadFileBytes(const std::string& path, const std::string& what);

// Refuses a preset made for another plug-in, naming both IDs, unless force (then it warns).
void CheckPresetOwner(const Preset& preset, const AEffect& fields, const std::string& path, bool force);

// Reads, checks and loads the file into the opened instance; nothing is loaded when any check fails.
// expected, when not empty, names the format the file must have.
void LoadPresetFile(Instance& instance, const std::string& path, const std::string& expected, bool force);

// The header fields of the instance's current program or of its bank, contents left empty.
Preset CapturePresetHeader(Instance& instance, PresetFormat format);  // throws HostError
// The instance's current program or its bank, as chunk or parameter values.
Preset CapturePreset(Instance& instance, PresetFormat format);  // throws HostError

}  // namespace vsthost
