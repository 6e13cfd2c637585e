// How the host sees one script slider: range, step, value names, name and label.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SliderInfo {
    std::vector<std::string> names;  // value names; a slider with names shows a name, not a number
    bool scanned = false;
    std::int32_t number = 0;  // the slider's entry in sliderValues
    double* linked = nullptr;  // a script variable mirroring the slider, if any
    double defaultValue = 0.0;
    double minimum = 0.0;
    double maximum = 0.0;
    double step = 0.0;
    std::string path;  // directory of a file-list slider, relative to the module's directory
    std::string spare;  // carried for generated code; nothing reads it
    std::string label;
    std::string name;
};
