#include "runtime/TVormlek.h"

#include <cstring>
#include <ctime>
#include <new>

#include "runtime/HostServices.h"
#include "runtime/TransformTables.h"

namespace {

// The processor clock in milliseconds, the unit the redraw throttle counts in.
std::int32_t ClockMilliseconds() noexcept {
    return static_cast<std::int32_t>(std::clock() / (CLOCKS_PER_SEC / 1000));
}

}  // namespace

TVormlek::TVormlek() {
    vormlek::EnsureSpectralTables();
    ResetRuntimeState();
}

void TVormlek::ResetRuntimeState() noexcept {
    ClearMemory();
    ClearStrings();
    lastRedrawClock = 0;
}

void TVormlek::DoReset() { ResetRuntimeState(); }

void TVormlek::DoResume() {
    DoInit();
    DoSlider();
}

void TVormlek::DoInitOnce() {
    if (loadCount == 0) DoInit();
    ++loadCount;
}

void TVormlek::DoIdle() {
    if (!(frameRate > 0.0)) return;
    if (ClockMilliseconds() - lastRedrawClock > 1000.0 / frameRate) {
        VeST_InvalidateEditor(adapter);
        lastRedrawClock = ClockMilliseconds();
    }
}

void TVormlek::PrepareStateStream(std::int32_t mode) noexcept {
    FileSlot& slot = stateFile();
    ResetFileSlot(slot);
    slot.mode = mode;
}

std::int32_t TVormlek::SaveChunk(void** chunk, bool) {
    // A host that gives no place for the pointer gets no chunk, not a size it cannot use.
    if (chunk == nullptr) return 0;
    PrepareStateStream(FileSlot::kWriting);
    double marker = kChunkMarker;
    SerializeValue(marker);
    DoSerialize();
    FileSlot& slot = stateFile();
    if (slot.data.size() <= 1) return 0;
    *chunk = slot.data.data();
    return static_cast<std::int32_t>(slot.data.size() * sizeof(float));
}

std::int32_t TVormlek::LoadChunk(const void* chunk, std::int32_t byteCount, bool) {
    PrepareStateStream(FileSlot::kReading);
    FileSlot& slot = stateFile();
    if (chunk == nullptr || byteCount < static_cast<std::int32_t>(sizeof(float))) return byteCount;
    try {
        slot.data.resize(static_cast<std::size_t>(byteCount) / sizeof(float));
    } catch (const std::bad_alloc&) {  // a chunk too large to hold is ignored like a malformed one
        return byteCount;
    }
    std::memcpy(slot.data.data(), chunk, slot.data.size() * sizeof(float));
    double marker = 0.0;
    SerializeValue(marker);
    if (marker != kChunkMarker) return byteCount;
    DoInitOnce();
    DoSerialize();
    DoSlider();
    return byteCount;
}
