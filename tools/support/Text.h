// Text helpers for names a user types and numbers a program reads back.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

namespace vsthost {

// The text with ASCII letters in lower case, for comparing names while ignoring case.
inline std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The number as text that reads back as the same double, e.g. on another program's command line.
inline std::string ExactText(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

}  // namespace vsthost
