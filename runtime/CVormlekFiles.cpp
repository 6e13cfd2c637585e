#include "runtime/CVormlekFiles.h"

#include <cstdio>

#include "runtime/FilePaths.h"
#include "runtime/Numeric.h"
#include "runtime/SharedValues.h"

namespace {

// Writes a slot's values next to the module, one byte each. File errors are silent, and a path
// that cannot even be built for want of memory is one of them: a slot is also closed by the
// destructor, where nothing may be thrown.
void WriteSlotFile(const FileSlot& slot) noexcept {
    try {
        if (std::FILE* file = std::fopen(vormlek::ResolveFileName(slot.name).c_str(), "wb")) {
            for (float value : slot.data) std::fputc(vormlek::RoundIndex(value) & 0xFF, file);
            std::fclose(file);
        }
    } catch (...) {
    }
}

}  // namespace

void CVormlekFiles::ResetFileSlot(FileSlot& slot) noexcept {
    if (slot.mode == FileSlot::kWriting && !slot.name.empty()) WriteSlotFile(slot);
    slot.name.clear();
    slot.position = 0;
    slot.resetFlag = 0;
    slot.counter1 = 0;
    slot.counter2 = 0;
    slot.data.clear();
}

void CVormlekFiles::SerializeValue(double& value) {
    FileSlot& slot = stateFile();
    const auto position = static_cast<std::size_t>(slot.position);
    if (slot.mode == FileSlot::kWriting) {
        if (slot.data.size() <= position) slot.data.resize(position + 1, 0.0f);
        slot.data[position] = static_cast<float>(vormlek::LoadShared(value));
        ++slot.position;
    } else if (slot.mode == FileSlot::kReading && position < slot.data.size()) {
        vormlek::StoreSource(value, slot.data[position]);
        ++slot.position;
    }
}

CVormlekFiles::~CVormlekFiles() {
    for (FileSlot& slot : files) {
        ResetFileSlot(slot);
        slot.mode = FileSlot::kClosed;
    }
}
