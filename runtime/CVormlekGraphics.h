// Images, the drawing position and the display frame rate; only display and idle hooks use them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "runtime/CVormlekFonts.h"

struct ScriptImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;
};

class CVormlekGraphics : public CVormlekFonts {
public:
    std::map<std::int32_t, std::unique_ptr<ScriptImage>> images;
    double drawX = 0.0;
    double drawY = 0.0;
    double frameRate = 0.0;  // display refreshes per second that DoIdle asks for

protected:
    CVormlekGraphics() = default;
    ~CVormlekGraphics() = default;
};
