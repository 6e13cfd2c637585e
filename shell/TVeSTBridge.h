// The table of 29 plain functions through which the host adapter reaches the script object.
// Every slot takes the adapter first; a null slot means "not supported" and the adapter answers
// its neutral value.
#pragma once

#include <cstdint>

#include "vst/vst24.h"

class CVeST;

struct TVeSTBridge {
    void (*init)(CVeST*) noexcept;
    void (*destroy)(CVeST*) noexcept;
    void (*open)(CVeST*) noexcept;
    void (*suspend)(CVeST*) noexcept;
    void (*resume)(CVeST*) noexcept;
    void (*editorIdle)(CVeST*) noexcept;
    void (*close)(CVeST*) noexcept;
    void (*editorDraw)(CVeST*, double width, double height) noexcept;
    void (*editorMouseDown)(CVeST*, double x, double y, VstInt32 buttons) noexcept;
    void (*editorMouseUp)(CVeST*, double x, double y, VstInt32 buttons) noexcept;
    void (*editorMouseMoved)(CVeST*, double x, double y, VstInt32 buttons) noexcept;
    void (*editorKeyDown)(CVeST*, VstInt32 character, std::uint8_t modifier, std::uint8_t virtualKey) noexcept;
    void (*editorKeyUp)(CVeST*, VstInt32 character, std::uint8_t modifier, std::uint8_t virtualKey) noexcept;
    VstInt32 (*getVendorVersion)(CVeST*) noexcept;
    bool (*getVendorString)(CVeST*, char* text) noexcept;
    bool (*getProductString)(CVeST*, char* text) noexcept;
    bool (*getEffectName)(CVeST*, char* text) noexcept;
    bool (*getProgramName)(CVeST*, char* text) noexcept;
    void (*setProgramName)(CVeST*, const char* text) noexcept;
    bool (*getProgramNameIndexed)(CVeST*, VstInt32 category, VstInt32 index, char* text) noexcept;
    float (*getParameter)(CVeST*, VstInt32 index) noexcept;
    void (*setParameter)(CVeST*, VstInt32 index, double value) noexcept;
    void (*getParameterName)(CVeST*, VstInt32 index, char* text) noexcept;
    void (*getParameterLabel)(CVeST*, VstInt32 index, char* text) noexcept;
    void (*getParameterDisplay)(CVeST*, VstInt32 index, char* text) noexcept;
    void (*processReplacing)(CVeST*, float** inputs, float** outputs, VstInt32 sampleFrames) noexcept;
    void (*processDoubleReplacing)(CVeST*, double** inputs, double** outputs, VstInt32 sampleFrames) noexcept;
    VstInt32 (*getChunk)(CVeST*, void** data, bool isPreset) noexcept;
    VstInt32 (*setChunk)(CVeST*, void* data, VstInt32 byteSize, bool isPreset) noexcept;
};

static_assert(sizeof(TVeSTBridge) == 29 * sizeof(void*), "the bridge is exactly 29 pointer slots");

// The table the entry hands to the adapter: slots 0 to 6 and 13 to 28 filled, the editor slots null.
TVeSTBridge MakeTrimBridge() noexcept;
