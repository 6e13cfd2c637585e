// The table of 29 plain functions through which the host adapter reaches the script object.
// Every slot takes the adapter first; a null slot means "not supported" and the adapter answers
// its neutral value.
//
// Each slot's tag says which host thread may call it: [main-thread] the host's main (user
// interface) thread, never while a block of the same instance runs where the slot changes state;
// [audio-thread] the processing thread: allocates nothing, takes no lock, asks the host only what
// the block hook asks; [thread-safe] any thread, also while a block runs on another. Every filled
// slot catches what the script object throws and answers its neutral value instead.
#pragma once

#include <cstdint>

#include "vst/vst24.h"

class CVeST;

struct TVeSTBridge {
    void (*init)(CVeST*) noexcept;     // [main-thread] from the adapter's constructor: channels, ID, chunk flag
    void (*destroy)(CVeST*) noexcept;  // [main-thread] from the adapter's destructor: deletes the script object
    void (*open)(CVeST*) noexcept;     // [main-thread] effOpen: hook DoReset
    void (*suspend)(CVeST*) noexcept;  // [main-thread] mains off: hook DoSuspend
    void (*resume)(CVeST*) noexcept;   // [main-thread] mains on: hook DoResume
    void (*editorIdle)(CVeST*) noexcept;  // [main-thread] hook DoIdle; no editor calls it here
    void (*close)(CVeST*) noexcept;       // [main-thread] effClose, before the adapter is deleted: hook DoClose
    void (*editorDraw)(CVeST*, double width, double height) noexcept;                // [main-thread] null here
    void (*editorMouseDown)(CVeST*, double x, double y, VstInt32 buttons) noexcept;  // [main-thread] null here
    void (*editorMouseUp)(CVeST*, double x, double y, VstInt32 buttons) noexcept;    // [main-thread] null here
    void (*editorMouseMoved)(CVeST*, double x, double y, VstInt32 buttons) noexcept;  // [main-thread] null here
    void (*editorKeyDown)(CVeST*, VstInt32 character, std::uint8_t modifier,
                          std::uint8_t virtualKey) noexcept;  // [main-thread] null here
    void (*editorKeyUp)(CVeST*, VstInt32 character, std::uint8_t modifier,
                        std::uint8_t virtualKey) noexcept;  // [main-thread] null here
    VstInt32 (*getVendorVersion)(CVeST*) noexcept;          // [thread-safe] a constant
    bool (*getVendorString)(CVeST*, char* text) noexcept;   // [thread-safe] at most 64 bytes, terminated
    bool (*getProductString)(CVeST*, char* text) noexcept;  // [thread-safe] at most 64 bytes, terminated
    bool (*getEffectName)(CVeST*, char* text) noexcept;     // [thread-safe] at most 64 bytes, terminated
    bool (*getProgramName)(CVeST*, char* text) noexcept;    // [main-thread] at most 64 bytes, terminated
    void (*setProgramName)(CVeST*, const char* text) noexcept;  // [main-thread] may allocate; null text: no change
    bool (*getProgramNameIndexed)(CVeST*, VstInt32 category, VstInt32 index,
                                  char* text) noexcept;        // [thread-safe] writes nothing, answers false
    float (*getParameter)(CVeST*, VstInt32 index) noexcept;  // [thread-safe] 0..1; 0 beyond the count
    void (*setParameter)(CVeST*, VstInt32 index, double value) noexcept;  // [thread-safe] no allocation, no lock
    void (*getParameterName)(CVeST*, VstInt32 index, char* text) noexcept;     // [thread-safe] at most 64 bytes
    void (*getParameterLabel)(CVeST*, VstInt32 index, char* text) noexcept;    // [thread-safe] at most 64 bytes
    void (*getParameterDisplay)(CVeST*, VstInt32 index, char* text) noexcept;  // [thread-safe] at most 64 bytes
    void (*processReplacing)(CVeST*, float** inputs, float** outputs,
                             VstInt32 sampleFrames) noexcept;  // [audio-thread] one block: DoBlock, then the frames
    void (*processDoubleReplacing)(CVeST*, double** inputs, double** outputs,
                                   VstInt32 sampleFrames) noexcept;  // [audio-thread] as processReplacing
    VstInt32 (*getChunk)(CVeST*, void** data, bool isPreset) noexcept;  // [main-thread] may allocate; 0: no chunk
    VstInt32 (*setChunk)(CVeST*, void* data, VstInt32 byteSize,
                         bool isPreset) noexcept;  // [main-thread] may allocate; copies the bytes first
};

static_assert(sizeof(TVeSTBridge) == 29 * sizeof(void*), "the bridge is exactly 29 pointer slots");

// The table the entry hands to the adapter: slots 0 to 6 and 13 to 28 filled, the editor slots null.
TVeSTBridge MakeTrimBridge() noexcept;
