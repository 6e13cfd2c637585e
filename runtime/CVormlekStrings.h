// The script's string slots: numbered byte strings, created empty when first read.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "runtime/CVormlekDescription.h"

class CVormlekStrings : public CVormlekDescription {
public:
    // The string in slot number, created holding "" on first use; keeps stringCount in step.
    std::string& StringSlot(std::int32_t number) {
        std::string& text = strings[number];
        stringCount = static_cast<double>(strings.size());
        return text;
    }

    void ClearStrings() noexcept {
        strings.clear();
        stringCount = 0.0;
    }

    std::map<std::int32_t, std::string> strings;
    std::map<std::int32_t, std::string> namedStrings;  // kept across resets
    double stringCount = 0.0;

protected:
    CVormlekStrings() = default;
    ~CVormlekStrings() = default;
};
