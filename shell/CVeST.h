// The host adapter: a generic VST 2.4 effect that knows nothing of the script runtime and forwards
// every effect-specific operation to one slot of its bridge table. Each override keeps the thread
// tag of the entry it overrides (shell/AudioEffect.h, shell/AudioEffectX.h).
#pragma once

#include <array>

#include "shell/AudioEffectX.h"
#include "shell/TVeSTBridge.h"

class TVormlek;

class CVeST final : public AudioEffectX {
public:
    static constexpr VstInt32 kMidiRingSize = 1000;

    CVeST(TVormlek* scriptObject, const TVeSTBridge& table, audioMasterCallback audioMaster,
          VstInt32 numPrograms, VstInt32 numParams) noexcept;
    ~CVeST() override;

    void open() noexcept override;
    void close() noexcept override;
    void suspend() noexcept override;
    void resume() noexcept override;

    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) noexcept override;
    void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) noexcept override;

    void setParameter(VstInt32 index, float value) noexcept override;
    float getParameter(VstInt32 index) noexcept override;
    void setProgramName(char* name) noexcept override;
    void getProgramName(char* name) noexcept override;
    void getParameterLabel(VstInt32 index, char* label) noexcept override;
    void getParameterDisplay(VstInt32 index, char* text) noexcept override;
    void getParameterName(VstInt32 index, char* text) noexcept override;
    VstInt32 getChunk(void** data, bool isPreset) noexcept override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) noexcept override;

    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) noexcept override;
    VstInt32 processEvents(VstEvents* events) noexcept override;
    bool getEffectName(char* name) noexcept override;
    bool getVendorString(char* text) noexcept override;
    bool getProductString(char* text) noexcept override;
    VstInt32 getVendorVersion() noexcept override;
    VstInt32 canDo(char* text) noexcept override;

    TVormlek* effect;  // the script object, owned: deleted through bridge slot destroy (never the AEffect)
    void* drawContext = nullptr;  // only an editor draw would set it; this plug-in has no editor
    VstInt32 midiWritePos = 0;
    VstInt32 midiReadPos = 0;
    std::array<VstMidiEvent, kMidiRingSize> midiRing{};
    TVeSTBridge bridge;
};

// Asks the host for its version first and makes no adapter (null) when the host answers 0.
CVeST* CreateVeST(TVormlek* scriptObject, const TVeSTBridge& table, audioMasterCallback audioMaster,
                  VstInt32 numPrograms, VstInt32 numParams) noexcept;
