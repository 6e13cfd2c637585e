#include "shell/Trampolines.h"

#include "shell/AudioEffect.h"

namespace {

AudioEffect* AdapterOf(AEffect* effect) noexcept { return static_cast<AudioEffect*>(effect->object); }

VstIntPtr VSTCALLBACK DispatcherTrampoline(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                           void* ptr, float opt) noexcept {
    AudioEffect* adapter = AdapterOf(effect);
    const VstIntPtr answer = adapter->dispatcher(opcode, index, value, ptr, opt);
    if (opcode != effClose) return answer;
    delete adapter;  // the host owns the adapter and ends it with effClose
    return 1;
}

void VSTCALLBACK ProcessTrampoline(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) noexcept {
    AdapterOf(effect)->process(inputs, outputs, frames);
}

void VSTCALLBACK ProcessReplacingTrampoline(AEffect* effect, float** inputs, float** outputs,
                                            VstInt32 frames) noexcept {
    AdapterOf(effect)->processReplacing(inputs, outputs, frames);
}

void VSTCALLBACK ProcessDoubleReplacingTrampoline(AEffect* effect, double** inputs, double** outputs,
                                                  VstInt32 frames) noexcept {
    AdapterOf(effect)->processDoubleReplacing(inputs, outputs, frames);
}

void VSTCALLBACK SetParameterTrampoline(AEffect* effect, VstInt32 index, float value) noexcept {
    AdapterOf(effect)->setParameter(index, value);
}

float VSTCALLBACK GetParameterTrampoline(AEffect* effect, VstInt32 index) noexcept {
    return AdapterOf(effect)->getParameter(index);
}

}  // namespace

void InstallTrampolines(AEffect& effect) noexcept {
    effect.dispatcher = DispatcherTrampoline;
    effect.process = ProcessTrampoline;
    effect.setParameter = SetParameterTrampoline;
    effect.getParameter = GetParameterTrampoline;
    effect.processReplacing = ProcessReplacingTrampoline;
    effect.processDoubleReplacing = ProcessDoubleReplacingTrampoline;
}
