#include "tools/vsthost/BinaryFormat.h"

#include <cstdint>
#include <fstream>
#include <vector>

#include "tools/vsthost/PluginBinary.h"

namespace vsthost {

namespace {

constexpr std::uint16_t kMachineI386 = 0x14C, kMachineAmd64 = 0x8664;
constexpr std::uint32_t kSectionWithoutBytes = 8;  // SHT_NOBITS: .bss and the like occupy no file space

class FileBytes {
public:
    explicit FileBytes(const std::string& path) : path_(path), file_(path, std::ios::binary) {
        if (!file_) throw HostError("cannot open plug-in '" + path + "': cannot read the file");
        file_.seekg(0, std::ios::end);
        size_ = static_cast<std::uint64_t>(file_.tellg());
    }
    std::uint64_t size() const noexcept { return size_; }

    // count bytes at offset, or empty when they lie beyond the end.
    std::vector<unsigned char> read(std::uint64_t offset, std::uint64_t count) {
        if (!within(offset, count)) return {};
        std::vector<unsigned char> bytes(static_cast<std::size_t>(count));
        file_.clear();
        file_.seekg(static_cast<std::streamoff>(offset));
        file_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
        if (!file_) throw HostError("cannot open plug-in '" + path_ + "': reading the file failed");
        return bytes;
    }
    bool within(std::uint64_t offset, std::uint64_t count) const noexcept {
        return offset <= size_ && count <= size_ - offset;
    }

private:
    std::string path_;
    std::ifstream file_;
    std::uint64_t size_ = 0;
};

template <typename Number>
Number LittleEndian(const std::vector<unsigned char>& bytes, std::size_t at) {
    Number value = 0;
    for (std::size_t i = sizeof(Number); i-- > 0;) value = static_cast<Number>((value << 8) | bytes[at + i]);
    return value;
}

[[noreturn]] void Damaged(const std::string& path, const std::string& what, std::uint64_t size) {
    throw HostError("cannot load plug-in '" + path + "': the file is truncated or damaged (" + what +
                    " beyond its end, at " + std::to_string(size) + " bytes)");
}

// Offsets of the 64-bit ELF layout (file header, program header, section header).
void CheckElf64(FileBytes& file, const std::string& path) {
    const std::vector<unsigned char> header = file.read(0, 64);
    if (header.empty()) Damaged(path, "the ELF file header reaches", file.size());
    const auto programOffset = LittleEndian<std::uint64_t>(header, 32);
    const auto sectionOffset = LittleEndian<std::uint64_t>(header, 40);
    const auto programEntry = LittleEndian<std::uint16_t>(header, 54), programCount = LittleEndian<std::uint16_t>(header, 56);
    const auto sectionEntry = LittleEndian<std::uint16_t>(header, 58), sectionCount = LittleEndian<std::uint16_t>(header, 60);
    if (programCount > 0 && programEntry < 56) Damaged(path, "program headers too small to read reach", file.size());
    const std::vector<unsigned char> programs =
        file.read(programOffset, std::uint64_t{programEntry} * programCount);
    if (programs.empty() && programCount > 0) Damaged(path, "the program headers reach", file.size());
    for (std::size_t i = 0; i < programCount; ++i) {
        const std::size_t at = i * programEntry;
        const auto offset = LittleEndian<std::uint64_t>(programs, at + 8);
        const auto bytes = LittleEndian<std::uint64_t>(programs, at + 32);
        if (!file.within(offset, bytes)) Damaged(path, "segment " + std::to_string(i) + " reaches", file.size());
    }
    if (sectionOffset == 0 || sectionCount == 0) return;
    if (sectionEntry < 64) Damaged(path, "section headers too small to read reach", file.size());
    const std::vector<unsigned char> sections = file.read(sectionOffset, std::uint64_t{sectionEntry} * sectionCount);
    if (sections.empty()) Damaged(path, "the section headers reach", file.size());
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::size_t at = i * sectionEntry;
        if (LittleEndian<std::uint32_t>(sections, at + 4) == kSectionWithoutBytes) continue;
        const auto offset = LittleEndian<std::uint64_t>(sections, at + 24);
        const auto bytes = LittleEndian<std::uint64_t>(sections, at + 32);
        if (!file.within(offset, bytes)) Damaged(path, "section " + std::to_string(i) + " reaches", file.size());
    }
}

}  // namespace

std::string DescribeFormat(BinaryFormat format) {
    switch (format) {
        case BinaryFormat::kElf64: return "a 64-bit Linux plug-in";
        case BinaryFormat::kWindows32: return "a 32-bit Windows DLL";
        case BinaryFormat::kWindows64: return "a 64-bit Windows DLL";
        case BinaryFormat::kOther: break;
    }
    return "a file of unknown kind";
}

BinaryFormat InspectBinary(const std::string& path) {
    FileBytes file(path);
    const std::vector<unsigned char> start = file.read(0, 16);
    if (start.size() == 16 && start[0] == 0x7F && start[1] == 'E' && start[2] == 'L' && start[3] == 'F') {
        constexpr unsigned char kClass64 = 2, kLittleEndian = 1;
        if (start[4] != kClass64 || start[5] != kLittleEndian) return BinaryFormat::kOther;
        CheckElf64(file, path);
        return BinaryFormat::kElf64;
    }
    const std::vector<unsigned char> dos = file.read(0, 64);
    if (dos.empty() || dos[0] != 'M' || dos[1] != 'Z') return BinaryFormat::kOther;
    const auto peOffset = LittleEndian<std::uint32_t>(dos, 60);
    const std::vector<unsigned char> pe = file.read(peOffset, 6);
    if (pe.empty() || pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0)
        throw HostError("cannot load plug-in '" + path + "': it starts like a Windows binary but has no PE header");
    const auto machine = LittleEndian<std::uint16_t>(pe, 4);
    if (machine == kMachineI386) return BinaryFormat::kWindows32;
    if (machine == kMachineAmd64) return BinaryFormat::kWindows64;
    throw HostError("cannot load plug-in '" + path + "': a Windows binary for machine type " + std::to_string(machine) +
                    ", neither i386 nor x86-64");
}

}  // namespace vsthost
