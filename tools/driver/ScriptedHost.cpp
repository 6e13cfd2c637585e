#include "tools/driver/ScriptedHost.h"

namespace vsthost {

namespace {

// During an entry call no AEffect exists yet, so the plug-in calls back with a null AEffect pointer.
thread_local ScriptedHost* instantiating = nullptr;

ScriptedHost* HostOf(AEffect* aeffect) noexcept {
    if (aeffect != nullptr && aeffect->user != nullptr) return static_cast<ScriptedHost*>(aeffect->user);
    return instantiating;
}

}  // namespace

ScriptedHost::ScriptedHost() { calls.reserve(1 << 16); }

ScriptedHost::~ScriptedHost() = default;

AEffect* ScriptedHost::instantiate(VstPluginMainProc entry) {
    if (entry == nullptr) return nullptr;
    ScriptedHost* previous = instantiating;
    instantiating = this;
    AEffect* aeffect = entry(&ScriptedHost::Callback);
    instantiating = previous;
    if (aeffect != nullptr) adopt(aeffect);
    return aeffect;
}

void ScriptedHost::adopt(AEffect* aeffect) noexcept { aeffect->user = this; }

std::size_t ScriptedHost::count(VstInt32 opcode) const {
    std::size_t n = 0;
    for (const HostCall& call : calls) n += call.opcode == opcode ? 1 : 0;
    return n;
}

VstIntPtr ScriptedHost::answer(const HostCall& call) {
    if (recording.load(std::memory_order_relaxed) && calls.size() < calls.capacity()) calls.push_back(call);
    switch (call.opcode) {
        case audioMasterVersion: return versionAnswer;
        case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(timeInfo);
        default: break;
    }
    const auto fixed = answers.find(call.opcode);
    return fixed != answers.end() ? fixed->second : 0;
}

VstIntPtr VSTCALLBACK ScriptedHost::Callback(AEffect* aeffect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                             void* ptr, float opt) {
    ScriptedHost* host = HostOf(aeffect);
    if (host == nullptr) return opcode == audioMasterVersion ? kVstVersion : 0;
    return host->answer(HostCall{aeffect, opcode, index, value, ptr, opt});
}

}  // namespace vsthost
