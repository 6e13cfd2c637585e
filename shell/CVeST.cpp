#include "shell/CVeST.h"

#include <cstring>
#include <new>

CVeST* CreateVeST(TVormlek* scriptObject, const TVeSTBridge& table, audioMasterCallback audioMaster,
                  VstInt32 numPrograms, VstInt32 numParams) noexcept {
    // No AEffect exists yet, so the version request goes out with a null effect pointer.
    if (audioMaster == nullptr || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    return new (std::nothrow) CVeST(scriptObject, table, audioMaster, numPrograms, numParams);
}

CVeST::CVeST(TVormlek* scriptObject, const TVeSTBridge& table, audioMasterCallback audioMaster,
             VstInt32 numPrograms, VstInt32 numParams) noexcept
    : AudioEffectX(audioMaster, numPrograms, numParams), effect(scriptObject), bridge(table) {
    canProcessReplacing(true);
    canDoubleReplacing(true);
    if (bridge.init != nullptr) bridge.init(this);
}

CVeST::~CVeST() {
    if (bridge.destroy != nullptr) bridge.destroy(this);
}

void CVeST::open() noexcept {
    if (bridge.open != nullptr) bridge.open(this);
}

void CVeST::close() noexcept {
    if (bridge.close != nullptr) bridge.close(this);
}

void CVeST::suspend() noexcept {
    if (bridge.suspend != nullptr) bridge.suspend(this);
}

void CVeST::resume() noexcept {
    AudioEffectX::resume();
    if (bridge.resume != nullptr) bridge.resume(this);
}

void CVeST::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) noexcept {
    if (bridge.processReplacing != nullptr) bridge.processReplacing(this, inputs, outputs, sampleFrames);
}

void CVeST::processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) noexcept {
    if (bridge.processDoubleReplacing != nullptr) bridge.processDoubleReplacing(this, inputs, outputs, sampleFrames);
}

void CVeST::setParameter(VstInt32 index, float value) noexcept {
    if (bridge.setParameter != nullptr) bridge.setParameter(this, index, value);
}

float CVeST::getParameter(VstInt32 index) noexcept {
    return bridge.getParameter != nullptr ? bridge.getParameter(this, index) : 0.0f;
}

void CVeST::setProgramName(char* name) noexcept {
    if (bridge.setProgramName != nullptr) bridge.setProgramName(this, name);
}

void CVeST::getProgramName(char* name) noexcept {
    if (bridge.getProgramName != nullptr) bridge.getProgramName(this, name);
}

void CVeST::getParameterLabel(VstInt32 index, char* label) noexcept {
    if (bridge.getParameterLabel != nullptr) bridge.getParameterLabel(this, index, label);
}

void CVeST::getParameterDisplay(VstInt32 index, char* text) noexcept {
    if (bridge.getParameterDisplay != nullptr) bridge.getParameterDisplay(this, index, text);
}

void CVeST::getParameterName(VstInt32 index, char* text) noexcept {
    if (bridge.getParameterName != nullptr) bridge.getParameterName(this, index, text);
}

VstInt32 CVeST::getChunk(void** data, bool isPreset) noexcept {
    return bridge.getChunk != nullptr ? bridge.getChunk(this, data, isPreset) : 0;
}

VstInt32 CVeST::setChunk(void* data, VstInt32 byteSize, bool isPreset) noexcept {
    return bridge.setChunk != nullptr ? bridge.setChunk(this, data, byteSize, isPreset) : 0;
}

bool CVeST::getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) noexcept {
    return bridge.getProgramNameIndexed != nullptr && bridge.getProgramNameIndexed(this, category, index, text);
}

VstInt32 CVeST::processEvents(VstEvents* events) noexcept {
    if (events == nullptr) return 1;
    // The record declares two entries; a host's list holds numEvents of them.
    VstEvent* const* entries = events->events;
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = entries[i];
        if (event == nullptr || event->type != kVstMidiType) continue;
        VstMidiEvent& record = midiRing[static_cast<std::size_t>(midiWritePos)];
        std::memcpy(&record, event, sizeof(record));
        record.type = kVstMidiType;
        midiWritePos = (midiWritePos + 1) % kMidiRingSize;
    }
    return 1;
}

bool CVeST::getEffectName(char* name) noexcept {
    return bridge.getEffectName != nullptr && bridge.getEffectName(this, name);
}

bool CVeST::getVendorString(char* text) noexcept {
    return bridge.getVendorString != nullptr && bridge.getVendorString(this, text);
}

bool CVeST::getProductString(char* text) noexcept {
    return bridge.getProductString != nullptr && bridge.getProductString(this, text);
}

VstInt32 CVeST::getVendorVersion() noexcept {
    return bridge.getVendorVersion != nullptr ? bridge.getVendorVersion(this) : 0;
}

VstInt32 CVeST::canDo(char* text) noexcept {
    if (text != nullptr && std::strcmp(text, kCanDoReceiveVstMidiEvent) == 0) return 1;
    return -1;
}
