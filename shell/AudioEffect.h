// The generic plug-in side of the VST 2.4 interface: the AEffect record, the bookkeeping every
// effect needs, default answers and the requests an effect makes of its host.
#pragma once

#include "vst/vst24.h"

class AEffEditor;  // no editor exists in this plug-in; the pointer stays null

class AudioEffect {
public:
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams) noexcept;
    virtual ~AudioEffect() = default;
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) noexcept;

    virtual void open() noexcept {}
    virtual void close() noexcept {}
    virtual void suspend() noexcept {}
    virtual void resume() noexcept {}

    virtual void setSampleRate(float rate) noexcept { sampleRate = rate; }
    virtual void setBlockSize(VstInt32 size) noexcept { blockSize = size; }

    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) noexcept = 0;
    virtual void processDoubleReplacing(double**, double**, VstInt32) noexcept {}

    virtual void setParameter(VstInt32, float) noexcept {}
    virtual float getParameter(VstInt32) noexcept { return 0.0f; }
    virtual void setParameterAutomated(VstInt32 index, float value) noexcept;

    virtual VstInt32 getProgram() noexcept { return curProgram; }
    virtual void setProgram(VstInt32 program) noexcept { curProgram = program; }
    virtual void setProgramName(char*) noexcept {}
    virtual void getProgramName(char*) noexcept {}

    virtual void getParameterLabel(VstInt32, char*) noexcept {}
    virtual void getParameterDisplay(VstInt32, char*) noexcept {}
    virtual void getParameterName(VstInt32, char*) noexcept {}

    virtual VstInt32 getChunk(void**, bool) noexcept { return 0; }
    virtual VstInt32 setChunk(void*, VstInt32, bool) noexcept { return 0; }

    virtual void setUniqueID(VstInt32 id) noexcept { cEffect.uniqueID = id; }
    virtual void setNumInputs(VstInt32 inputs) noexcept { cEffect.numInputs = inputs; }
    virtual void setNumOutputs(VstInt32 outputs) noexcept { cEffect.numOutputs = outputs; }
    virtual void canProcessReplacing(bool state) noexcept { setFlag(effFlagsCanReplacing, state); }
    virtual void canDoubleReplacing(bool state) noexcept { setFlag(effFlagsCanDoubleReplacing, state); }
    virtual void programsAreChunks(bool state) noexcept { setFlag(effFlagsProgramChunks, state); }
    virtual void setInitialDelay(VstInt32 delay) noexcept { cEffect.initialDelay = delay; }

    virtual AEffEditor* getEditor() noexcept { return editor; }
    virtual AEffect* getAeffect() noexcept { return &cEffect; }
    virtual float getSampleRate() noexcept { return sampleRate; }
    virtual VstInt32 getBlockSize() noexcept { return blockSize; }

    virtual VstInt32 getMasterVersion() noexcept;
    virtual VstInt32 getCurrentUniqueId() noexcept;
    virtual void masterIdle() noexcept;

    // Deprecated: the accumulating process entry does nothing, the VU query answers 0.
    virtual void process(float**, float**, VstInt32) noexcept {}
    virtual float getVu() noexcept { return 0.0f; }

protected:
    // Calls the host with this effect's AEffect; 0 when there is no host callback.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) noexcept;
    void setFlag(VstInt32 flag, bool state) noexcept;

    audioMasterCallback audioMaster;
    AEffEditor* editor = nullptr;
    float sampleRate = 44100.0f;
    VstInt32 blockSize = 1024;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 curProgram = 0;
    AEffect cEffect;
};
