#include "shell/AudioEffect.h"

#include <cstring>

#include "shell/Trampolines.h"

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 programs, VstInt32 params) noexcept
    : audioMaster(audioMaster), numPrograms(programs), numParams(params) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    InstallTrampolines(cEffect);
    cEffect.numPrograms = programs;
    cEffect.numParams = params;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = 0x4E6F4566;  // 'NoEf', replaced by the effect's own ID
    cEffect.version = 1;
    cEffect.flags = effFlagsCanReplacing;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) noexcept {
    auto* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effOpen: open(); break;
        case effClose: close(); break;
        case effSetProgram:
            if (value < numPrograms) setProgram(static_cast<VstInt32>(value));
            break;
        case effGetProgram: return getProgram();
        case effSetProgramName: setProgramName(text); break;
        case effGetProgramName: getProgramName(text); break;
        case effGetParamLabel: getParameterLabel(index, text); break;
        case effGetParamDisplay: getParameterDisplay(index, text); break;
        case effGetParamName: getParameterName(index, text); break;
        case effSetSampleRate: setSampleRate(opt); break;
        case effSetBlockSize: setBlockSize(static_cast<VstInt32>(value)); break;
        case effMainsChanged:
            if (value == 0) suspend(); else resume();
            break;
        case effIdentify: return kEffectIdentify;
        case effGetChunk: return getChunk(static_cast<void**>(ptr), index != 0);
        case effSetChunk: return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
        default: break;  // editor opcodes: there is never an editor
    }
    return 0;
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) noexcept {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion() noexcept {
    const auto version = static_cast<VstInt32>(callHost(audioMasterVersion));
    return version == 0 ? 1 : version;
}

VstInt32 AudioEffect::getCurrentUniqueId() noexcept {
    return static_cast<VstInt32>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle() noexcept { callHost(audioMasterIdle); }

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) noexcept {
    if (audioMaster == nullptr) return 0;
    return audioMaster(&cEffect, opcode, index, value, ptr, opt);
}

void AudioEffect::setFlag(VstInt32 flag, bool state) noexcept {
    if (state) cEffect.flags |= flag;
    else cEffect.flags &= ~flag;
}
