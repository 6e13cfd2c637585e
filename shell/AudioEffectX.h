// The VST 2.x extensions: the opcodes from effProcessEvents on, capabilities and host requests.
// Thread tags as in shell/AudioEffect.h.
#pragma once

#include "shell/AudioEffect.h"

class AudioEffectX : public AudioEffect {
public:
    using AudioEffect::AudioEffect;

    // [per opcode] the extension opcodes here, the others to AudioEffect::dispatcher.
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) noexcept override;
    void resume() noexcept override;  // [main-thread] asks the host for MIDI where the effect takes it

    // [audio-thread] before the block it belongs to; copies events, allocates nothing.
    virtual VstInt32 processEvents(VstEvents*) noexcept { return 0; }
    virtual bool canParameterBeAutomated(VstInt32) noexcept { return true; }                // [thread-safe]
    virtual bool getProgramNameIndexed(VstInt32, VstInt32, char*) noexcept { return false; }  // [thread-safe]
    virtual VstPlugCategory getPlugCategory() noexcept;                                     // [thread-safe]
    virtual bool getEffectName(char*) noexcept { return false; }     // [thread-safe] at most 64 bytes
    virtual bool getVendorString(char*) noexcept { return false; }   // [thread-safe] at most 64 bytes
    virtual bool getProductString(char*) noexcept { return false; }  // [thread-safe] at most 64 bytes
    virtual VstInt32 getVendorVersion() noexcept { return 0; }       // [thread-safe]
    virtual VstInt32 canDo(char*) noexcept { return 0; }             // [thread-safe]
    virtual VstInt32 getVstVersion() noexcept { return kVstVersion; }                     // [thread-safe]
    virtual VstInt32 getCurrentMidiProgram(VstInt32, void*) noexcept { return -1; }       // [thread-safe]
    // [main-thread] writes null into both arrangement pointers.
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output) noexcept;
    virtual VstInt32 setTotalSampleToProcess(VstInt32 value) noexcept { return value; }  // [thread-safe]

    // Host requests.
    // [audio-thread] from the block hook, [main-thread] from the other hooks.
    virtual VstTimeInfo* getTimeInfo(VstInt32 filter) noexcept;
    virtual bool wantEvents(VstInt32 filter = 1) noexcept;  // [main-thread] at resume
    // [audio-thread] from the block hook after a display change.
    virtual bool updateDisplay() noexcept;
    virtual bool sendVstEventsToHost(VstEvents* events) noexcept;  // [audio-thread]
};

// The published plug-in capability names; only "receiveVstMidiEvent" is answered with yes.
inline constexpr char kCanDoReceiveVstMidiEvent[] = "receiveVstMidiEvent";
