// A script object on its own adapter, built as the entry builds it, for unit tests that need the
// script object and the adapter side by side.
#pragma once

#include <memory>
#include <utility>

#include "effect/TVormlekEffect.h"
#include "shell/CVeST.h"
#include "shell/TVeSTBridge.h"

template <typename Script>
struct ScriptAdapter {
    template <typename... Arguments>
    explicit ScriptAdapter(audioMasterCallback audioMaster, Arguments&&... arguments) {
        auto script = std::make_unique<Script>(std::forward<Arguments>(arguments)...);
        adapter = CreateVeST(script.get(), MakeTrimBridge(), audioMaster, 1, script->ParameterCount());
        effect = script.release();  // owned by the adapter from here on
        effect->adapter = adapter;
    }
    ~ScriptAdapter() { delete adapter; }
    ScriptAdapter(const ScriptAdapter&) = delete;
    ScriptAdapter& operator=(const ScriptAdapter&) = delete;

    AEffect* aeffect() const noexcept { return adapter->getAeffect(); }

    Script* effect = nullptr;
    CVeST* adapter = nullptr;
};

using TrimAdapter = ScriptAdapter<TVormlekEffect>;
