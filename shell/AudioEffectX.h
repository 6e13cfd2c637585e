// The VST 2.x extensions: the opcodes from effProcessEvents on, capabilities and host requests.
#pragma once

#include "shell/AudioEffect.h"

class AudioEffectX : public AudioEffect {
public:
    using AudioEffect::AudioEffect;

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) noexcept override;
    void resume() noexcept override;

    virtual VstInt32 processEvents(VstEvents*) noexcept { return 0; }
    virtual bool canParameterBeAutomated(VstInt32) noexcept { return true; }
    virtual bool getProgramNameIndexed(VstInt32, VstInt32, char*) noexcept { return false; }
    virtual VstPlugCategory getPlugCategory() noexcept;
    virtual bool getEffectName(char*) noexcept { return false; }
    virtual bool getVendorString(char*) noexcept { return false; }
    virtual bool getProductString(char*) noexcept { return false; }
    virtual VstInt32 getVendorVersion() noexcept { return 0; }
    virtual VstInt32 canDo(char*) noexcept { return 0; }
    virtual VstInt32 getVstVersion() noexcept { return kVstVersion; }
    virtual VstInt32 getCurrentMidiProgram(VstInt32, void*) noexcept { return -1; }
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output) noexcept;
    virtual VstInt32 setTotalSampleToProcess(VstInt32 value) noexcept { return value; }

    // Host requests.
    virtual VstTimeInfo* getTimeInfo(VstInt32 filter) noexcept;
    virtual bool wantEvents(VstInt32 filter = 1) noexcept;
    virtual bool updateDisplay() noexcept;
    virtual bool sendVstEventsToHost(VstEvents* events) noexcept;
};

// The published plug-in capability names; only "receiveVstMidiEvent" is answered with yes.
inline constexpr char kCanDoReceiveVstMidiEvent[] = "receiveVstMidiEvent";
