// The generic plug-in side of the VST 2.4 interface: the AEffect record, the bookkeeping every
// effect needs, default answers and the requests an effect makes of its host.
//
// Each entry's tag says which thread may call it, with the tags of shell/TVeSTBridge.h:
// [main-thread], [audio-thread], [thread-safe]; [per opcode] means the entry the opcode reaches
// decides. Requests to the host are tagged with the threads the plug-in makes them from.
#pragma once

#include "vst/vst24.h"

class AEffEditor;  // no editor exists in this plug-in; the pointer stays null

class AudioEffect {
public:
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams) noexcept;
    virtual ~AudioEffect() = default;  // [main-thread] at effClose
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // [per opcode] routes an opcode to the entry below; an opcode without one answers 0.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) noexcept;

    virtual void open() noexcept {}     // [main-thread] once, after construction
    virtual void close() noexcept {}    // [main-thread] once, before deletion
    virtual void suspend() noexcept {}  // [main-thread] mains off; no block runs until resume
    virtual void resume() noexcept {}   // [main-thread] mains on; blocks may follow

    virtual void setSampleRate(float rate) noexcept { sampleRate = rate; }    // [main-thread] while suspended
    virtual void setBlockSize(VstInt32 size) noexcept { blockSize = size; }  // [main-thread] while suspended

    // [audio-thread] one block; allocates nothing, takes no lock.
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) noexcept = 0;
    virtual void processDoubleReplacing(double**, double**, VstInt32) noexcept {}  // [audio-thread] as above

    virtual void setParameter(VstInt32, float) noexcept {}                // [thread-safe] no allocation, no lock
    virtual float getParameter(VstInt32) noexcept { return 0.0f; }        // [thread-safe]
    virtual void setParameterAutomated(VstInt32 index, float value) noexcept;  // [thread-safe] tells the host too

    virtual VstInt32 getProgram() noexcept { return curProgram; }                     // [main-thread]
    virtual void setProgram(VstInt32 program) noexcept { curProgram = program; }     // [main-thread]
    virtual void setProgramName(char*) noexcept {}                                    // [main-thread]
    virtual void getProgramName(char*) noexcept {}                                    // [main-thread]

    virtual void getParameterLabel(VstInt32, char*) noexcept {}    // [thread-safe] at most 64 bytes
    virtual void getParameterDisplay(VstInt32, char*) noexcept {}  // [thread-safe] at most 64 bytes
    virtual void getParameterName(VstInt32, char*) noexcept {}     // [thread-safe] at most 64 bytes

    virtual VstInt32 getChunk(void**, bool) noexcept { return 0; }           // [main-thread] no block running
    virtual VstInt32 setChunk(void*, VstInt32, bool) noexcept { return 0; }  // [main-thread] no block running

    // [main-thread] while the instance is built: the record's fields and flags.
    virtual void setUniqueID(VstInt32 id) noexcept { cEffect.uniqueID = id; }
    virtual void setNumInputs(VstInt32 inputs) noexcept { cEffect.numInputs = inputs; }
    virtual void setNumOutputs(VstInt32 outputs) noexcept { cEffect.numOutputs = outputs; }
    virtual void canProcessReplacing(bool state) noexcept { setFlag(effFlagsCanReplacing, state); }
    virtual void canDoubleReplacing(bool state) noexcept { setFlag(effFlagsCanDoubleReplacing, state); }
    virtual void programsAreChunks(bool state) noexcept { setFlag(effFlagsProgramChunks, state); }
    // [audio-thread] from the block hook when the latency changes; [main-thread] too.
    virtual void setInitialDelay(VstInt32 delay) noexcept { cEffect.initialDelay = delay; }

    // [thread-safe] stored values; the host changes rate and size only while suspended.
    virtual AEffEditor* getEditor() noexcept { return editor; }
    virtual AEffect* getAeffect() noexcept { return &cEffect; }
    virtual float getSampleRate() noexcept { return sampleRate; }
    virtual VstInt32 getBlockSize() noexcept { return blockSize; }

    virtual VstInt32 getMasterVersion() noexcept;    // [main-thread] asks the host
    virtual VstInt32 getCurrentUniqueId() noexcept;  // [main-thread] asks the host
    virtual void masterIdle() noexcept;              // [main-thread] asks the host

    // Deprecated: the accumulating process entry does nothing, the VU query answers 0.
    virtual void process(float**, float**, VstInt32) noexcept {}  // [audio-thread]
    virtual float getVu() noexcept { return 0.0f; }               // [thread-safe]

protected:
    // [thread-safe] calls the host with this effect's AEffect; 0 when there is no host callback.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) noexcept;
    void setFlag(VstInt32 flag, bool state) noexcept;  // [main-thread] while the instance is built

    audioMasterCallback audioMaster;
    AEffEditor* editor = nullptr;
    float sampleRate = 44100.0f;
    VstInt32 blockSize = 1024;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 curProgram = 0;
    AEffect cEffect;
};
