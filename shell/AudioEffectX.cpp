#include "shell/AudioEffectX.h"

#include <cstring>

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) noexcept {
    auto* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effProcessEvents: return processEvents(static_cast<VstEvents*>(ptr));
        case effCanBeAutomated: return canParameterBeAutomated(index) ? 1 : 0;
        case effGetProgramNameIndexed: return getProgramNameIndexed(static_cast<VstInt32>(value), index, text) ? 1 : 0;
        case effGetPlugCategory: return getPlugCategory();
        case effGetEffectName: return getEffectName(text) ? 1 : 0;
        case effGetVendorString: return getVendorString(text) ? 1 : 0;
        case effGetProductString: return getProductString(text) ? 1 : 0;
        case effGetVendorVersion: return getVendorVersion();
        case effCanDo: return canDo(text);
        case effGetVstVersion: return getVstVersion();
        case effGetCurrentMidiProgram: return getCurrentMidiProgram(index, ptr);
        case effGetSpeakerArrangement:
            return getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                         static_cast<VstSpeakerArrangement**>(ptr)) ? 1 : 0;
        case effSetTotalSampleToProcess: return setTotalSampleToProcess(static_cast<VstInt32>(value));
        default: break;
    }
    if (opcode >= effProcessEvents && opcode <= effGetNumMidiOutputChannels) return 0;
    return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
}

void AudioEffectX::resume() noexcept {
    char capability[sizeof(kCanDoReceiveVstMidiEvent)];  // canDo takes a writable text, as hosts pass one
    std::memcpy(capability, kCanDoReceiveVstMidiEvent, sizeof(capability));
    if ((cEffect.flags & effFlagsIsSynth) != 0 || canDo(capability) == 1) wantEvents(1);
}

VstPlugCategory AudioEffectX::getPlugCategory() noexcept {
    return (cEffect.flags & effFlagsIsSynth) != 0 ? kPlugCategSynth : kPlugCategUnknown;
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output) noexcept {
    if (input != nullptr) *input = nullptr;
    if (output != nullptr) *output = nullptr;
    return false;
}

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) noexcept {
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

bool AudioEffectX::wantEvents(VstInt32 filter) noexcept { return callHost(audioMasterWantMidi, 0, filter) != 0; }

bool AudioEffectX::updateDisplay() noexcept { return callHost(audioMasterUpdateDisplay) != 0; }

bool AudioEffectX::sendVstEventsToHost(VstEvents* events) noexcept {
    return callHost(audioMasterProcessEvents, 0, 0, events) == 1;
}
