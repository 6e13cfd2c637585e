// Small plug-ins with known faults, so the command-line host's errors and checks can be seen to fire.
// One source, built several times; the definition chosen decides what the entry does:
//   VSTHOST_TEST_NULL_ENTRY  the entry refuses (returns null)
//   VSTHOST_TEST_BAD_MAGIC   the entry returns an object that is not an AEffect
//   VSTHOST_TEST_NO_ENTRY    the library has no entry point at all
//   otherwise                a 1-in/1-out gain that misbehaves in ways a demanding host notices:
//                            it allocates while processing, writes outputs on 0-frame calls, turns
//                            out NaN at normalised 1, ignores a loaded state and aborts when asked
//                            to process in place.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/cli/TestPluginEntry.h"

#if defined(VSTHOST_TEST_NO_ENTRY)

VSTHOST_TEST_EXPORT int vsthost_test_not_a_plugin() { return 0; }

#elif defined(VSTHOST_TEST_NULL_ENTRY)

VSTHOST_TEST_EXPORT AEffect* VSTPluginMain(audioMasterCallback) { return nullptr; }

#elif defined(VSTHOST_TEST_BAD_MAGIC)

VSTHOST_TEST_EXPORT AEffect* VSTPluginMain(audioMasterCallback) {
    static AEffect notAnEffect{};
    return &notAnEffect;
}

#else

namespace {

struct FaultyGain {
    AEffect aeffect{};
    float gain = 0.5f;
    float chunk = 0.0f;
};

FaultyGain* Of(AEffect* aeffect) { return static_cast<FaultyGain*>(aeffect->object); }

VstIntPtr VSTCALLBACK Dispatch(AEffect* aeffect, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    FaultyGain* self = Of(aeffect);
    switch (opcode) {
        case effClose: delete self; return 1;
        case effGetParamName: std::strcpy(static_cast<char*>(ptr), "gain"); return 0;
        case effGetParamDisplay: std::strcpy(static_cast<char*>(ptr), "x"); return 0;
        case effGetEffectName: std::strcpy(static_cast<char*>(ptr), "faulty gain"); return 1;
        case effGetVstVersion: return kVstVersion;
        case effGetChunk:
            self->chunk = self->gain;
            *static_cast<void**>(ptr) = &self->chunk;
            return sizeof self->chunk;
        case effSetChunk: return 0;  // the fault: the state is not taken over
        default: return 0;
    }
}

void VSTCALLBACK ProcessReplacing(AEffect* aeffect, float** inputs, float** outputs, VstInt32 frames) {
    if (inputs[0] == outputs[0]) std::abort();
    if (frames == 0) outputs[0][0] = 0.0f;
    std::vector<float> scratch(inputs[0], inputs[0] + frames);
    const float gain = Of(aeffect)->gain >= 1.0f ? std::nanf("") : Of(aeffect)->gain;
    for (VstInt32 f = 0; f < frames; ++f) outputs[0][f] = scratch[static_cast<std::size_t>(f)] * gain;
}

void VSTCALLBACK SetParameter(AEffect* aeffect, VstInt32, float value) { Of(aeffect)->gain = value; }
float VSTCALLBACK GetParameter(AEffect* aeffect, VstInt32) { return Of(aeffect)->gain; }

}  // namespace

VSTHOST_TEST_EXPORT AEffect* VSTPluginMain(audioMasterCallback) {
    auto* self = new FaultyGain;
    return &DescribeTestPlugin(self->aeffect, self, Dispatch, SetParameter, GetParameter, ProcessReplacing, 1, 0);
}

#endif
