// One script file: a named run of 32-bit floats that a script reads or writes value by value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FileSlot {
    enum Mode : std::int32_t { kClosed = 0, kReading = 1, kWriting = 2 };

    std::string name;  // relative to the plug-in module's directory; empty when no file is attached
    std::int32_t position = 0;
    std::vector<float> data;
    std::uint8_t resetFlag = 0;
    std::uint8_t initFlag = 1;
    std::int32_t mode = kClosed;
    std::int32_t counter1 = 0;
    std::int32_t counter2 = 0;
};
