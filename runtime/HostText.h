// Copying texts into buffers a host supplies without telling their size.
#pragma once

#include <cstddef>
#include <cstring>
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

}  // namespace vormlek
