// The host side of the interface: a host callback whose answers a caller can script and which
// records every call a plug-in makes.
#pragma once

#include <atomic>
#include <cstddef>
#include <map>
#include <vector>

#include "vst/vst24.h"

namespace vsthost {

struct HostCall {
    AEffect* aeffect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

class ScriptedHost {
public:
    ScriptedHost();
    ~ScriptedHost();
    ScriptedHost(const ScriptedHost&) = delete;
    ScriptedHost& operator=(const ScriptedHost&) = delete;

    // Creates an instance through an entry point with this host's callback; null if the entry refused.
    AEffect* instantiate(VstPluginMainProc entry);
    // Binds an instance this host did not create (so callbacks find the host), e.g. after a move.
    void adopt(AEffect* aeffect) noexcept;

    // Scripted answers.
    VstIntPtr versionAnswer = kVstVersion;
    VstTimeInfo* timeInfo = nullptr;  // what audioMasterGetTime answers (null: no time information)
    std::map<VstInt32, VstIntPtr> answers;  // fixed answers for other opcodes

    // Recorded calls. Recording can be switched off; capacity is reserved so recording a few
    // thousand calls does not allocate.
    std::atomic<bool> recording{true};
    std::vector<HostCall> calls;
    std::size_t count(VstInt32 opcode) const;
    void clear() noexcept { calls.clear(); }

    static VstIntPtr VSTCALLBACK Callback(AEffect* aeffect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                          void* ptr, float opt);

private:
    VstIntPtr answer(const HostCall& call);
};

}  // namespace vsthost
