// What every small test plug-in here hands a host: a 1-in/1-out AEffect that processes in float
// and keeps its state as a chunk, with the plug-in's own functions and object filled in.
#pragma once

#include "vst/vst24.h"

#if defined(_WIN32)
#define VSTHOST_TEST_EXPORT extern "C" __declspec(dllexport)
#else
#define VSTHOST_TEST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

inline AEffect& DescribeTestPlugin(AEffect& aeffect, void* object, AEffectDispatcherProc dispatcher,
                                   AEffectSetParameterProc setParameter, AEffectGetParameterProc getParameter,
                                   AEffectProcessProc processReplacing, VstInt32 numParams, VstInt32 numPrograms) {
    aeffect.magic = kEffectMagic;
    aeffect.dispatcher = dispatcher;
    aeffect.setParameter = setParameter;
    aeffect.getParameter = getParameter;
    aeffect.processReplacing = processReplacing;
    aeffect.numParams = numParams;
    aeffect.numPrograms = numPrograms;
    aeffect.numInputs = 1;
    aeffect.numOutputs = 1;
    aeffect.flags = effFlagsCanReplacing | effFlagsProgramChunks;
    aeffect.object = object;
    return aeffect;
}
