// The script's file slots. Slot 0 is the state stream that carries the state chunk.
#pragma once

#include <vector>

#include "runtime/CVormlekStrings.h"
#include "runtime/FileSlot.h"

class CVormlekFiles : public CVormlekStrings {
public:
    FileSlot& stateFile() noexcept { return files.front(); }

    // Closes a slot: a named slot in writing mode is first written next to the module, one byte per
    // value; then the slot is emptied (its data keeps its capacity). The caller sets the new mode.
    static void ResetFileSlot(FileSlot& slot) noexcept;

    // Serialises one script value through slot 0: appended as a float when writing; when reading,
    // the next float if one is left, else the value stays as it is. Appending allocates, and what
    // that throws is the caller's to catch. The value may be shared with other host threads.
    void SerializeValue(double& value);

    std::vector<FileSlot> files;
    double fileDefault = 1.0;

protected:
    CVormlekFiles() : files(1) {}
    ~CVormlekFiles();
};
