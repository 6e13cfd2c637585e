// Text helpers for names a user types.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>

namespace vsthost {

// The text with ASCII letters in lower case, for comparing names while ignoring case.
inline std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace vsthost
