// One plug-in instance driven as a host drives it: every call goes through the AEffect.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/driver/PluginLibrary.h"
#include "tools/driver/ScriptedHost.h"

namespace vsthost {

class Plugin {
public:
    // Creates an instance through entry with host's callback; valid() is false when the entry refused.
    Plugin(ScriptedHost& host, VstPluginMainProc entry);
    // Takes over an instance the caller created and checked (e.g. its magic number) through a host.
    explicit Plugin(AEffect* aeffect) noexcept : aeffect_(aeffect) {}
    ~Plugin();  // closes the instance (effClose) if still open
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    bool valid() const noexcept { return aeffect_ != nullptr; }
    AEffect* aeffect() const noexcept { return aeffect_; }
    const AEffect& fields() const noexcept { return *aeffect_; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) const;

    // The usual start-up: open, sample rate, block size, resume.
    void start(float sampleRate = 44100.0f, VstInt32 blockSize = 512) const;
    void open() const { dispatch(effOpen); }
    void setSampleRate(float rate) const { dispatch(effSetSampleRate, 0, 0, nullptr, rate); }
    void setBlockSize(VstInt32 size) const { dispatch(effSetBlockSize, 0, size); }
    void resume() const { dispatch(effMainsChanged, 0, 1); }
    void suspend() const { dispatch(effMainsChanged, 0, 0); }
    // Sends effClose; answers what the dispatcher answered. The instance is gone afterwards.
    VstIntPtr close();

    // A text query with a zero-filled buffer larger than any limit, so over-long answers show.
    std::string text(VstInt32 opcode, VstInt32 index = 0) const;
    std::string effectName() const { return text(effGetEffectName); }
    std::string vendorString() const { return text(effGetVendorString); }
    std::string productString() const { return text(effGetProductString); }
    std::string programName() const { return text(effGetProgramName); }
    std::string parameterName(VstInt32 index) const { return text(effGetParamName, index); }
    std::string parameterLabel(VstInt32 index) const { return text(effGetParamLabel, index); }
    std::string parameterDisplay(VstInt32 index) const { return text(effGetParamDisplay, index); }
    VstIntPtr canDo(const char* capability) const;

    float getParameter(VstInt32 index) const { return aeffect_->getParameter(aeffect_, index); }
    void setParameter(VstInt32 index, float value) const { aeffect_->setParameter(aeffect_, index, value); }

    void processReplacing(float** inputs, float** outputs, VstInt32 frames) const {
        aeffect_->processReplacing(aeffect_, inputs, outputs, frames);
    }
    void processDoubleReplacing(double** inputs, double** outputs, VstInt32 frames) const {
        aeffect_->processDoubleReplacing(aeffect_, inputs, outputs, frames);
    }

    // The state chunk as bytes (empty when the plug-in gives none), and loading bytes back.
    std::vector<std::uint8_t> getChunk(bool isPreset = false) const;
    VstIntPtr setChunk(const std::vector<std::uint8_t>& bytes, bool isPreset = false) const;

private:
    AEffect* aeffect_ = nullptr;
};

}  // namespace vsthost
