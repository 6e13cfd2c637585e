// The base of every effect script: the end of the layer chain and its sixteen hooks.
#pragma once

#include <cstdint>

#include "runtime/CVormlekMouse.h"

class TVormlek : public CVormlekMouse {
public:
    TVormlek();
    virtual ~TVormlek() = default;
    TVormlek(const TVormlek&) = delete;
    TVormlek& operator=(const TVormlek&) = delete;

    void DoBlock() override {}

    virtual void DoReset();
    virtual void DoClose() {}
    virtual void DoSuspend() {}
    virtual void DoResume();
    virtual void DoInit() {}
    virtual void DoInitOnce();
    virtual void DoGfx() {}
    virtual void DoIdle();
    virtual void DoSerialize() {}
    // Restores state from a chunk: floats, the marker -1000 first. Answers byteCount whether or not
    // the chunk was taken. The hooks, and copying the chunk, may throw: the caller catches.
    virtual std::int32_t LoadChunk(const void* chunk, std::int32_t byteCount, bool isPreset);
    // Produces the state chunk; answers its byte count, or 0 (pointer untouched) when nothing was
    // serialised. Growing the state stream may throw, and then the pointer stays untouched too.
    virtual std::int32_t SaveChunk(void** chunk, bool isPreset);

    static constexpr float kChunkMarker = -1000.0f;

    std::int32_t lastRedrawClock = 0;
    std::int32_t loadCount = 0;

private:
    void ResetRuntimeState() noexcept;
    void PrepareStateStream(std::int32_t mode) noexcept;
};
