// A well-behaved 1-in/1-out plug-in with one quirk chosen at load time by the environment variable
// VSTHOST_TEST_QUIRK, so each verdict of `vsthost validate` can be seen to come from that quirk alone.
// Parameter 0 is a switch ("off"/"on": gain 0.5 or 1), parameter 1 a level (gain factor 0..1).
//   (unset)              passes every check
//   throws               effGetChunk throws std::bad_alloc
//   allocates-elsewhere  a thread of its own allocates during every processing call, which allocates nothing
//   differs              every instance adds an offset of its own, so identical instances disagree
//   snaps-state          the state keeps the switch as 0 or 1, as many plug-ins do, while setParameter
//                        keeps any value: a loaded 0.42 reads back as 0 and shows "off" as before
//   hangs-in-programs    selecting a program never returns
//   slow-second-thread   setParameter from any thread but the creating one takes 30 ms
//   long-names           texts longer than their published sizes: the effect name (47 bytes of 32), the
//                        program name by index (31 of 24) and parameter 0's name (26 of 8)
//   unterminated-names   texts that fill their published size with no terminating zero: the program
//                        name (24 bytes) and parameter 1's display text (8)
//   delays               the output is the input 64 frames late, as a look-ahead would make it: the
//                        latency (initialDelay) and the tail (effGetTailSize) both say 64 frames
//   crashes-in-processing, exits-in-processing, hangs-in-processing
//                        the tenth processing call of an instance writes into the first page of memory,
//                        calls exit(3) or never returns
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/TestPluginEntry.h"

namespace {

enum class Quirk {
    kNone,
    kThrows,
    kAllocatesElsewhere,
    kDiffers,
    kSnapsState,
    kHangsInPrograms,
    kSlowSecondThread,
    kLongNames,
    kUnterminatedNames,
    kCrashesInProcessing,
    kExitsInProcessing,
    kHangsInProcessing,
    kDelays
};

constexpr int kDelayFrames = 64;

Quirk ChosenQuirk() {
    const char* name = std::getenv("VSTHOST_TEST_QUIRK");
    const std::string text = name != nullptr ? name : "";
    if (text == "throws") return Quirk::kThrows;
    if (text == "allocates-elsewhere") return Quirk::kAllocatesElsewhere;
    if (text == "differs") return Quirk::kDiffers;
    if (text == "snaps-state") return Quirk::kSnapsState;
    if (text == "hangs-in-programs") return Quirk::kHangsInPrograms;
    if (text == "slow-second-thread") return Quirk::kSlowSecondThread;
    if (text == "long-names") return Quirk::kLongNames;
    if (text == "unterminated-names") return Quirk::kUnterminatedNames;
    if (text == "crashes-in-processing") return Quirk::kCrashesInProcessing;
    if (text == "exits-in-processing") return Quirk::kExitsInProcessing;
    if (text == "hangs-in-processing") return Quirk::kHangsInProcessing;
    if (text == "delays") return Quirk::kDelays;
    return Quirk::kNone;
}

std::atomic<int> instancesMade{0};

struct QuirkyPlugin {
    AEffect aeffect{};
    Quirk quirk = ChosenQuirk();
    std::thread::id creator = std::this_thread::get_id();
    float offset = 0.001f * static_cast<float>(instancesMade.fetch_add(1) + 1);
    std::atomic<float> values[2] = {0.0f, 1.0f};
    float chunk[2] = {};
    int program = 0;
    int processingCalls = 0;
    float delayLine[kDelayFrames] = {};  // delays: the last kDelayFrames inputs, oldest at delayAt
    int delayAt = 0;
    // allocates-elsewhere: the processing call asks, the worker allocates and answers.
    std::atomic<int> asked{0}, answered{0};
    std::atomic<bool> working{true};
    std::thread worker;

    QuirkyPlugin() {
        if (quirk != Quirk::kAllocatesElsewhere) return;
        worker = std::thread([this] {
            while (working.load()) {
                const int request = asked.load();
                if (request == answered.load()) {
                    std::this_thread::yield();
                    continue;
                }
                std::vector<char>* allocated = new std::vector<char>(4096);
                delete allocated;
                answered.store(request);
            }
        });
    }
    ~QuirkyPlugin() {
        working = false;
        if (worker.joinable()) worker.join();
    }
    // Levels too small to hear are silence, so no denormal comes out.
    float gain() const {
        const float level = values[1].load() < 1e-6f ? 0.0f : values[1].load();
        return (values[0].load() >= 0.5f ? 1.0f : 0.5f) * level;
    }
};

QuirkyPlugin* Of(AEffect* aeffect) { return static_cast<QuirkyPlugin*>(aeffect->object); }

void Copy(void* destination, const char* text) { std::strcpy(static_cast<char*>(destination), text); }

// The text's characters without their terminating zero.
void CopyUnterminated(void* destination, const char* text) { std::memcpy(destination, text, std::strlen(text)); }

VstIntPtr VSTCALLBACK Dispatch(AEffect* aeffect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float) {
    QuirkyPlugin* self = Of(aeffect);
    const bool longNames = self->quirk == Quirk::kLongNames;
    const bool unterminated = self->quirk == Quirk::kUnterminatedNames;
    switch (opcode) {
        case effClose: delete self; return 1;
        case effSetProgram:
            while (self->quirk == Quirk::kHangsInPrograms) std::this_thread::sleep_for(std::chrono::seconds(1));
            self->program = static_cast<int>(value);
            return 0;
        case effGetProgram: return self->program;
        case effGetProgramName:
            if (unterminated) CopyUnterminated(ptr, "a name of twenty-four ch");
            else Copy(ptr, "default");
            return 0;
        case effGetProgramNameIndexed:
            if (!longNames || index != 0) return 0;
            Copy(ptr, "a program name beyond 24 bytes");
            return 1;
        case effGetParamName:
            Copy(ptr, index == 0 ? (longNames ? "a switch with a long name" : "switch") : "level");
            return 0;
        case effGetParamDisplay:
            if (index == 0) Copy(ptr, self->values[0].load() >= 0.5f ? "on" : "off");
            else if (unterminated) CopyUnterminated(ptr, "8 digits");
            else std::snprintf(static_cast<char*>(ptr), 8, "%.3f", static_cast<double>(self->values[1].load()));
            return 0;
        case effGetEffectName:
            Copy(ptr, longNames ? "a quirky gain with a name far beyond the limit" : "quirky gain");
            return 1;
        case effGetVstVersion: return kVstVersion;
        case effGetTailSize: return self->quirk == Quirk::kDelays ? kDelayFrames : 0;
        case effGetChunk:
            if (self->quirk == Quirk::kThrows) throw std::bad_alloc();
            self->chunk[0] = self->quirk == Quirk::kSnapsState ? (self->values[0] >= 0.5f ? 1.0f : 0.0f) : self->values[0].load();
            self->chunk[1] = self->values[1];
            *static_cast<void**>(ptr) = self->chunk;
            return sizeof self->chunk;
        case effSetChunk:
            if (value != sizeof self->chunk) return 0;
            std::memcpy(self->chunk, ptr, sizeof self->chunk);
            self->values[0] = self->chunk[0];
            self->values[1] = self->chunk[1];
            return 1;
        default: return 0;
    }
}

void VSTCALLBACK ProcessReplacing(AEffect* aeffect, float** inputs, float** outputs, VstInt32 frames) {
    QuirkyPlugin* self = Of(aeffect);
    constexpr int kFaultyCall = 10;
    if (++self->processingCalls == kFaultyCall) {
        if (self->quirk == Quirk::kCrashesInProcessing) {
            // A write into the first page, which no system maps: a crash on every system, through an
            // address neither the compiler nor the undefined-behaviour sanitizer sees as null.
            volatile std::uintptr_t nowhere = 16;
            *reinterpret_cast<volatile int*>(nowhere) = 1;
        }
        if (self->quirk == Quirk::kExitsInProcessing) std::exit(3);
        while (self->quirk == Quirk::kHangsInProcessing) std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    if (self->quirk == Quirk::kAllocatesElsewhere) {
        const int request = self->asked.fetch_add(1) + 1;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (self->answered.load() != request && std::chrono::steady_clock::now() < giveUp) std::this_thread::yield();
    }
    const float gain = self->gain();
    const float offset = self->quirk == Quirk::kDiffers ? self->offset : 0.0f;
    if (self->quirk == Quirk::kDelays) {
        for (VstInt32 f = 0; f < frames; ++f) {
            const float input = inputs[0][f];
            outputs[0][f] = self->delayLine[self->delayAt] * gain;
            self->delayLine[self->delayAt] = input;
            self->delayAt = (self->delayAt + 1) % kDelayFrames;
        }
        return;
    }
    for (VstInt32 f = 0; f < frames; ++f) outputs[0][f] = inputs[0][f] * gain + offset;
}

void VSTCALLBACK SetParameter(AEffect* aeffect, VstInt32 index, float value) {
    QuirkyPlugin* self = Of(aeffect);
    if (self->quirk == Quirk::kSlowSecondThread && std::this_thread::get_id() != self->creator)
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    if (index >= 0 && index < 2) self->values[index] = std::fmin(std::fmax(value, 0.0f), 1.0f);
}

float VSTCALLBACK GetParameter(AEffect* aeffect, VstInt32 index) {
    return index >= 0 && index < 2 ? Of(aeffect)->values[index].load() : 0.0f;
}

}  // namespace

VSTHOST_TEST_EXPORT AEffect* VSTPluginMain(audioMasterCallback) {
    auto* self = new QuirkyPlugin;
    AEffect& aeffect = DescribeTestPlugin(self->aeffect, self, Dispatch, SetParameter, GetParameter, ProcessReplacing, 2, 1);
    if (self->quirk == Quirk::kDelays) aeffect.initialDelay = kDelayFrames;
    return &aeffect;
}
