// The texts a host hands in and the buffers it supplies for texts without telling their size. A
// null pointer from the host is checked here and nowhere else.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace vormlek {

// The bytes, terminating zero included, that a copy of each kind of text may fill: the smallest
// buffer that real hosts are known to pass for it (a survey of their code chose these).
// LMMS reads the effect name into 32 bytes and the program name into 24.
inline constexpr std::size_t kEffectNameCapacity = 32;
inline constexpr std::size_t kProgramNameCapacity = 24;
inline constexpr std::size_t kVendorStringCapacity = 64;
inline constexpr std::size_t kProductStringCapacity = 64;
// LMMS 1.2 reads parameter names into 32 bytes; LMMS reads labels and display texts into 9 bytes and
// sends each with a one-digit length, so they keep to the published 8.
inline constexpr std::size_t kParameterNameCapacity = 32;
inline constexpr std::size_t kParameterLabelCapacity = 8;
inline constexpr std::size_t kParameterDisplayCapacity = 8;

// Copies as much of text as fits capacity bytes with its terminating zero, never cutting a UTF-8
// character in two. A null buffer (or no room at all) gets nothing and the answer false, so a name
// query does not report success for a text it never wrote.
inline bool CopyHostText(char* destination, std::string_view text, std::size_t capacity) noexcept {
    if (destination == nullptr || capacity == 0) return false;
    std::size_t length = text.size();
    if (length >= capacity) {
        length = capacity - 1;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    }
    std::memcpy(destination, text.data(), length);
    destination[length] = '\0';
    return true;
}

// Stores a terminated text the host hands in; a null text leaves the stored one as it was. Throws
// what the string's allocation throws, and then too the stored text stays as it was.
inline void TakeHostText(std::string& stored, const char* text) {
    if (text != nullptr) stored = text;
}

}  // namespace vormlek
