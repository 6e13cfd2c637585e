// Mouse state an editor would write; this plug-in has no editor, so it stays 0.
#pragma once

#include "runtime/CVormlekGraphics.h"

class CVormlekMouse : public CVormlekGraphics {
public:
    double mouseButtons = 0.0;
    double mouseX = 0.0;
    double mouseY = 0.0;

protected:
    CVormlekMouse() = default;
    ~CVormlekMouse() = default;
};
