#include "runtime/TVormlek.h"

#include <array>
#include <cstring>
#include <ctime>
#include <vector>

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
    // Copied before the state stream is touched: a host may hand back the very buffer that the
    // last save gave it, which resetting the stream would overwrite. If the copy cannot be
    // allocated, nothing has changed yet.
    std::vector<float> values;
    if (chunk != nullptr && byteCount >= static_cast<std::int32_t>(sizeof(float))) {
        values.resize(static_cast<std::size_t>(byteCount) / sizeof(float));
        std::memcpy(values.data(), chunk, values.size() * sizeof(float));
    }
    PrepareStateStream(FileSlot::kReading);
    FileSlot& slot = stateFile();
    slot.data.swap(values);
    if (slot.data.empty()) return byteCount;
    double marker = 0.0;
    SerializeValue(marker);
    if (marker != kChunkMarker) return byteCount;
    DoInitOnce();
    std::array<double, kSliderCount> before;
    for (std::size_t k = 0; k < kSliderCount; ++k) before[k] = vormlek::LoadShared(sliderValues[k]);
    DoSerialize();
    // A damaged or hostile chunk must not drive the output to infinity or far beyond the sliders.
    ConfineLoadedSliders(before);
    DoSlider();
    return byteCount;
}
