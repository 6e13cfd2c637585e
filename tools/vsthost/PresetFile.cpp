#include "tools/vsthost/PresetFile.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "tools/vsthost/PluginBinary.h"

namespace vsthost {

namespace {

constexpr std::size_t kNameBytes = 28;
constexpr std::size_t kProgramHeader = 7 * 4 + kNameBytes;  // up to and with prgName
constexpr std::size_t kBankHeader = 7 * 4 + 128;            // currentProgram and future[124]

class Reader {
public:
    explicit Reader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

    std::int32_t integer(const char* what) {
        need(4, what);
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = value << 8 | bytes_[at_++];
        return static_cast<std::int32_t>(value);
    }
    float real(const char* what) { return std::bit_cast<float>(integer(what)); }
    std::string magic(const char* what) {
        need(4, what);
        std::string text(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + 4));
        at_ += 4;
        return text;
    }
    std::string name() {
        need(kNameBytes, "the program name");
        const auto* first = reinterpret_cast<const char*>(bytes_.data() + at_);
        at_ += kNameBytes;
        return std::string(first, strnlen(first, kNameBytes));
    }
    std::vector<std::uint8_t> take(std::size_t count, const char* what) {
        need(count, what);
        std::vector<std::uint8_t> taken(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                                        bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + count));
        at_ += count;
        return taken;
    }
    void skip(std::size_t count, const char* what) {
        need(count, what);
        at_ += count;
    }
    std::size_t left() const { return bytes_.size() - at_; }

private:
    void need(std::size_t count, const char* what) const {
        if (left() < count)
            throw HostError("the preset file is truncated: " + std::string(what) + " needs " + std::to_string(count) +
                            " bytes at offset " + std::to_string(at_) + ", the file has " + std::to_string(left()) +
                            " left");
    }

    const std::vector<std::uint8_t>& bytes_;
    std::size_t at_ = 0;
};

std::int32_t Count(std::int32_t value, const char* what) {
    if (value < 0) throw HostError("the preset file gives a negative " + std::string(what) + " (" + std::to_string(value) + ")");
    return value;
}

std::vector<float> Parameters(Reader& reader, std::int32_t count) {
    // Checked against the bytes left first, so a huge count allocates nothing.
    if (static_cast<std::size_t>(count) > reader.left() / 4)
        throw HostError("the preset file is truncated: " + std::to_string(count) + " parameters need " +
                        std::to_string(4 * static_cast<std::size_t>(count)) + " bytes, the file has " +
                        std::to_string(reader.left()) + " left");
    std::vector<float> values(static_cast<std::size_t>(count));
    for (float& value : values) value = reader.real("a parameter");
    return values;
}

std::vector<std::uint8_t> Chunk(Reader& reader) {
    const std::int32_t size = reader.integer("the chunk size");
    if (size < 0 || static_cast<std::size_t>(size) > reader.left())
        throw HostError("the preset file's chunk size " + std::to_string(size) + " reaches past its end (" +
                        std::to_string(reader.left()) + " bytes left)");
    return reader.take(static_cast<std::size_t>(size), "the chunk");
}

// One program's fields after 'CcnK' and byteSize; in a bank every program is a whole FxCk file.
void ReadProgram(Reader& reader, Preset& preset, const std::string& magic) {
    preset.kind = magic == "FPCh" ? PresetKind::kProgramChunk : PresetKind::kProgramParams;
    preset.version = reader.integer("the version");
    preset.fxId = reader.integer("the plug-in ID");
    preset.fxVersion = reader.integer("the plug-in version");
    preset.count = Count(reader.integer("the parameter count"), "parameter count");
    preset.name = reader.name();
    if (preset.kind == PresetKind::kProgramChunk)
        preset.chunk = Chunk(reader);
    else
        preset.parameters = Parameters(reader, preset.count);
}

class Writer {
public:
    void integer(std::int32_t value) {
        const auto bits = static_cast<std::uint32_t>(value);
        for (int shift = 24; shift >= 0; shift -= 8) bytes_.push_back(static_cast<std::uint8_t>(bits >> shift));
    }
    void real(float value) { integer(std::bit_cast<std::int32_t>(value)); }
    void magic(const char* text) { bytes_.insert(bytes_.end(), text, text + 4); }
    void name(const std::string& text) {
        std::uint8_t field[kNameBytes] = {};  // always zero-terminated
        std::memcpy(field, text.data(), std::min(text.size(), kNameBytes - 1));
        bytes_.insert(bytes_.end(), field, field + kNameBytes);
    }
    void zeros(std::size_t count) { bytes_.insert(bytes_.end(), count, 0); }
    void raw(const std::vector<std::uint8_t>& bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
    // Fills in the byteSize of the file or program that starts at start: what follows the field.
    void closeAt(std::size_t start) {
        const auto size = static_cast<std::uint32_t>(bytes_.size() - start - 8);
        for (std::size_t i = 0; i < 4; ++i) bytes_[start + 4 + i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
    }
    std::vector<std::uint8_t> finish() {
        closeAt(0);
        return std::move(bytes_);
    }
    std::size_t size() const { return bytes_.size(); }

private:
    std::vector<std::uint8_t> bytes_;
};

std::int32_t CountOf(std::size_t size, const char* what) {
    if (size > 0x7FFFFFFF / 4) throw HostError(std::string("too many ") + what + " for a preset file");
    return static_cast<std::int32_t>(size);
}

void WriteProgram(Writer& writer, const char* magic, std::int32_t fxId, std::int32_t fxVersion, std::int32_t count,
                  const std::string& name) {
    writer.magic("CcnK");
    writer.integer(0);
    writer.magic(magic);
    writer.integer(1);
    writer.integer(fxId);
    writer.integer(fxVersion);
    writer.integer(count);
    writer.name(name);
}

}  // namespace

bool IsBank(PresetKind kind) { return kind == PresetKind::kBankChunk || kind == PresetKind::kBankPrograms; }
bool HoldsChunk(PresetKind kind) { return kind == PresetKind::kProgramChunk || kind == PresetKind::kBankChunk; }

const char* MagicOf(PresetKind kind) {
    switch (kind) {
        case PresetKind::kProgramChunk: return "FPCh";
        case PresetKind::kProgramParams: return "FxCk";
        case PresetKind::kBankChunk: return "FBCh";
        case PresetKind::kBankPrograms: return "FxBk";
    }
    return "";
}

Preset ParsePreset(const std::vector<std::uint8_t>& bytes) {
    Reader reader(bytes);
    if (reader.magic("the file magic") != "CcnK") throw HostError("this is no preset file: it does not start with 'CcnK'");
    Preset preset;
    preset.byteSize = reader.integer("the byte size");
    const std::string magic = reader.magic("the preset magic");
    if (magic == "FPCh" || magic == "FxCk") {
        ReadProgram(reader, preset, magic);
        return preset;
    }
    if (magic != "FBCh" && magic != "FxBk")
        throw HostError("unknown preset magic '" + magic + "': expected FxCk, FPCh, FxBk or FBCh");
    preset.kind = magic == "FBCh" ? PresetKind::kBankChunk : PresetKind::kBankPrograms;
    preset.version = reader.integer("the version");
    preset.fxId = reader.integer("the plug-in ID");
    preset.fxVersion = reader.integer("the plug-in version");
    preset.count = Count(reader.integer("the program count"), "program count");
    const std::int32_t current = reader.integer("the current program");
    preset.currentProgram = preset.version >= 2 ? current : 0;
    reader.skip(124, "the reserved bytes");
    if (preset.kind == PresetKind::kBankChunk) {
        preset.chunk = Chunk(reader);
        return preset;
    }
    if (static_cast<std::size_t>(preset.count) > reader.left() / kProgramHeader)
        throw HostError("the preset file is truncated: " + std::to_string(preset.count) + " programs do not fit in " +
                        std::to_string(reader.left()) + " bytes");
    for (std::int32_t i = 0; i < preset.count; ++i) {
        if (reader.magic("a program's magic") != "CcnK")
            throw HostError("program " + std::to_string(i) + " of the bank does not start with 'CcnK'");
        reader.integer("a program's byte size");
        const std::string programMagic = reader.magic("a program's magic");
        if (programMagic != "FxCk")
            throw HostError("program " + std::to_string(i) + " of the bank has magic '" + programMagic + "', expected FxCk");
        Preset program;
        ReadProgram(reader, program, programMagic);
        preset.programs.push_back({program.name, std::move(program.parameters)});
    }
    return preset;
}

std::vector<std::uint8_t> SerializePreset(const Preset& preset) {
    Writer writer;
    switch (preset.kind) {
        case PresetKind::kProgramChunk:
            WriteProgram(writer, "FPCh", preset.fxId, preset.fxVersion, preset.count, preset.name);
            writer.integer(CountOf(preset.chunk.size(), "chunk bytes"));
            writer.raw(preset.chunk);
            return writer.finish();
        case PresetKind::kProgramParams:
            WriteProgram(writer, "FxCk", preset.fxId, preset.fxVersion, CountOf(preset.parameters.size(), "parameters"),
                         preset.name);
            for (const float value : preset.parameters) writer.real(value);
            return writer.finish();
        case PresetKind::kBankChunk:
        case PresetKind::kBankPrograms: {
            const bool chunk = preset.kind == PresetKind::kBankChunk;
            writer.magic("CcnK");
            writer.integer(0);
            writer.magic(MagicOf(preset.kind));
            writer.integer(preset.version);
            writer.integer(preset.fxId);
            writer.integer(preset.fxVersion);
            writer.integer(chunk ? preset.count : CountOf(preset.programs.size(), "programs"));
            writer.integer(preset.version >= 2 ? preset.currentProgram : 0);
            writer.zeros(124);
            if (chunk) {
                writer.integer(CountOf(preset.chunk.size(), "chunk bytes"));
                writer.raw(preset.chunk);
                return writer.finish();
            }
            for (const PresetProgram& program : preset.programs) {
                const std::size_t start = writer.size();
                WriteProgram(writer, "FxCk", preset.fxId, preset.fxVersion, CountOf(program.parameters.size(), "parameters"),
                             program.name);
                for (const float value : program.parameters) writer.real(value);
                writer.closeAt(start);
            }
            return writer.finish();
        }
    }
    return {};
}

std::string FxIdText(std::int32_t id) {
    const auto bits = static_cast<std::uint32_t>(id);
    std::string characters;
    for (int shift = 24; shift >= 0; shift -= 8) characters += static_cast<char>(bits >> shift & 0xFF);
    const bool printable =
        std::all_of(characters.begin(), characters.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", bits);
    return printable ? "'" + characters + "' (" + hex + ")" : std::string(hex);
}

}  // namespace vsthost
