// The texts a host hands in and the buffers it supplies for texts without telling their size. A
// null pointer from the host is checked here and nowhere else.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace vormlek {

// Hosts allocate at least the published general text limit of 64 bytes; every copy stays inside it.
inline constexpr std::size_t kHostTextCapacity = 64;

// Copies text and its terminating zero, cut to fit kHostTextCapacity. A null buffer gets nothing
// and the answer false, so a name query does not report success for a text it never wrote.
inline bool CopyHostText(char* destination, std::string_view text) noexcept {
    if (destination == nullptr) return false;
    const std::size_t length = text.size() < kHostTextCapacity ? text.size() : kHostTextCapacity - 1;
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
