// What kind of binary a plug-in file is, read from its headers before anything loads it: a loader
// that maps a truncated file faults on the first page beyond its end, so the headers' promises are
// checked against the file's size first.
#pragma once

#include <string>

namespace vsthost {

enum class BinaryFormat {
    kElf64,      // a 64-bit ELF file whose headers, segments and sections lie within the file
    kWindows32,  // a PE file for i386 (a 32-bit Windows DLL)
    kWindows64,  // a PE file for x86-64
    kOther,      // anything else: left to the system loader, which says what it is not
};

// The plug-ins this build of vsthost loads.
#if defined(_WIN32)
inline constexpr BinaryFormat kLoadableFormat = sizeof(void*) == 4 ? BinaryFormat::kWindows32 : BinaryFormat::kWindows64;
#else
inline constexpr BinaryFormat kLoadableFormat = BinaryFormat::kElf64;
#endif

// Throws HostError when the file cannot be read or its ELF or PE headers point beyond its end.
BinaryFormat InspectBinary(const std::string& path);

// "a 32-bit Windows DLL", "a 64-bit Windows DLL", "a 64-bit Linux plug-in".
std::string DescribeFormat(BinaryFormat format);

}  // namespace vsthost
