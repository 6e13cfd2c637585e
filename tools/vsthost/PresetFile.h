// The preset files of VST 2.4 hosts: a program (.fxp) or a bank (.fxb), each holding either the
// plug-in's opaque chunk or its parameter values. Every integer is big-endian, floats too. Pure
// functions over bytes: reading checks every size against the file before using it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vsthost {

enum class PresetKind {
    kProgramChunk,   // 'FPCh'
    kProgramParams,  // 'FxCk'
    kBankChunk,      // 'FBCh'
    kBankPrograms,   // 'FxBk'
};

struct PresetProgram {
    std::string name;  // at most 27 characters are stored
    std::vector<float> parameters;
};

struct Preset {
    PresetKind kind = PresetKind::kProgramChunk;
    std::int32_t byteSize = 0;  // as read; written as the file's size less 8
    std::int32_t version = 1;   // banks: 1 or 2 (2 stores currentProgram)
    std::int32_t fxId = 0;
    std::int32_t fxVersion = 0;
    std::int32_t count = 0;           // numParams of a program, numPrograms of a bank
    std::int32_t currentProgram = 0;  // banks of version 2
    std::string name;                 // programs
    std::vector<std::uint8_t> chunk;  // the chunk forms
    std::vector<float> parameters;    // 'FxCk'
    std::vector<PresetProgram> programs;  // 'FxBk'
};

bool IsBank(PresetKind kind);
bool HoldsChunk(PresetKind kind);
const char* MagicOf(PresetKind kind);  // "FPCh", "FxCk", "FBCh", "FxBk"

// Reads a whole file's bytes. byteSize is not trusted: some writers count 8 bytes too many, so the
// structure alone decides. Throws HostError with a plain message on a short file, an unknown magic
// or a size that reaches past the end.
Preset ParsePreset(const std::vector<std::uint8_t>& bytes);

// The file's bytes; count and byteSize are taken from the contents.
std::vector<std::uint8_t> SerializePreset(const Preset& preset);

// "'Trm4' (0x54726D34)": an ID as its four characters where they are printable, and in hex.
std::string FxIdText(std::int32_t id);

}  // namespace vsthost
