// Fonts a script's display code selects; only a display hook would use them.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "runtime/CVormlekFiles.h"

struct FontRecord {
    std::string face;
    double size = 0.0;
    std::int32_t flags = 0;
};

class CVormlekFonts : public CVormlekFiles {
public:
    std::map<std::int32_t, FontRecord> fonts;
    double lineHeight = 0.0;

protected:
    CVormlekFonts() = default;
    ~CVormlekFonts() = default;
};
