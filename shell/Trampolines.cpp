#include "shell/Trampolines.h"

#include "shell/AudioEffect.h"

namespace {

// The adapter behind a host's AEffect, or null when the host hands no record or one whose object
// is null: every trampoline then answers its neutral value and touches nothing.
AudioEffect* AdapterOf(AEffect* aeffect) noexcept {
    return aeffect != nullptr ? static_cast<AudioEffect*>(aeffect->object) : nullptr;
}

VstIntPtr VSTCALLBACK DispatcherTrampoline(AEffect* aeffect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                           void* ptr, float opt) noexcept {
    AudioEffect* adapter = AdapterOf(aeffect);
    if (adapter == nullptr) return 0;
    const VstIntPtr answer = adapter->dispatcher(opcode, index, value, ptr, opt);
    if (opcode != effClose) return answer;
    delete adapter;  // the host owns the adapter and ends it with effClose
    return 1;
}

void VSTCALLBACK ProcessTrampoline(AEffect* aeffect, float** inputs, float** outputs, VstInt32 frames) noexcept {
    if (AudioEffect* adapter = AdapterOf(aeffect)) adapter->process(inputs, outputs, frames);
}

void VSTCALLBACK ProcessReplacingTrampoline(AEffect* aeffect, float** inputs, float** outputs,
                                            VstInt32 frames) noexcept {
    if (AudioEffect* adapter = AdapterOf(aeffect)) adapter->processReplacing(inputs, outputs, frames);
}

void VSTCALLBACK ProcessDoubleReplacingTrampoline(AEffect* aeffect, double** inputs, double** outputs,
                                                  VstInt32 frames) noexcept {
    if (AudioEffect* adapter = AdapterOf(aeffect)) adapter->processDoubleReplacing(inputs, outputs, frames);
}

void VSTCALLBACK SetParameterTrampoline(AEffect* aeffect, VstInt32 index, float value) noexcept {
    if (AudioEffect* adapter = AdapterOf(aeffect)) adapter->setParameter(index, value);
}

float VSTCALLBACK GetParameterTrampoline(AEffect* aeffect, VstInt32 index) noexcept {
    AudioEffect* adapter = AdapterOf(aeffect);
    return adapter != nullptr ? adapter->getParameter(index) : 0.0f;
}

}  // namespace

void InstallTrampolines(AEffect& aeffect) noexcept {
    aeffect.dispatcher = DispatcherTrampoline;
    aeffect.process = ProcessTrampoline;
    aeffect.setParameter = SetParameterTrampoline;
    aeffect.getParameter = GetParameterTrampoline;
    aeffect.processReplacing = ProcessReplacingTrampoline;
    aeffect.processDoubleReplacing = ProcessDoubleReplacingTrampoline;
}
