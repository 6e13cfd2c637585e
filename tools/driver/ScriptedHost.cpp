#include "ScriptedHost.h"

namespace vsthost {

namespace {

// During an entry call no AEffect exists yet, so the plug-in calls back with a null effect.
thread_local ScriptedHost* instantiating = nullptr;

ScriptedHost* HostOf(AEffect* effect) noexcept {
    if (effect != nullptr && effect->user != nullptr) return static_cast<ScriptedHost*>(effect->user);
    return instantiating;
}

}  // namespace

ScriptedHost::ScriptedHost() { calls.reserve(1 << 16); }

ScriptedHost::~ScriptedHost() = default;

AEffect* ScriptedHost::instantiate(VstPluginMainProc entry) {
    if (entry == nullptr) return nullptr;
    ScriptedHost* previous = instantiating;
    instantiating = this;
    AEffect* effect = entry(&ScriptedHost::Callback);
    instantiating = previous;
    if (effect != nullptr) adopt(effect);
    return effect;
}

void ScriptedHost::adopt(AEffect* effect) noexcept { effect->user = this; }

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

VstIntPtr VSTCALLBACK ScriptedHost::Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                             void* ptr, float opt) {
    ScriptedHost* host = HostOf(effect);
    if (host == nullptr) return opcode == audioMasterVersion ? kVstVersion : 0;
    return host->answer(HostCall{effect, opcode, index, value, ptr, opt});
}

}  // namespace vsthost
