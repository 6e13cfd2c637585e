// What every small test plug-in here hands a host: a 1-in/1-out AEffect that processes in float
// and keeps its state as a chunk, with the plug-in's own functions and object filled in.
#pragma once

#include "vst/vst24.h"

#if defined(_WIN32)
#define VSTHOST_TEST_EXPORT extern "C" __declspec(dllexport)
#else
#define VSTHOST_TEST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

inline AEffect& DescribeTestPlugin(AEffect& effect, void* object, AEffectDispatcherProc dispatcher,
                                   AEffectSetParameterProc setParameter, AEffectGetParameterProc getParameter,
                                   AEffectProcessProc processReplacing, VstInt32 numParams, VstInt32 numPrograms) {
    effect.magic = kEffectMagic;
    effect.dispatcher = dispatcher;
    effect.setParameter = setParameter;
    effect.getParameter = getParameter;
    effect.processReplacing = processReplacing;
    effect.numParams = numParams;
    effect.numPrograms = numPrograms;
    effect.numInputs = 1;
    effect.numOutputs = 1;
    effect.flags = effFlagsCanReplacing | effFlagsProgramChunks;
    effect.object = object;
    return effect;
}
