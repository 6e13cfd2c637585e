// The trim effect on its own adapter, built as the entry builds it, for unit tests that need the
// script object and the adapter side by side.
#pragma once

#include <memory>

#include "effect/TVormlekEffect.h"
#include "shell/CVeST.h"
#include "shell/TVeSTBridge.h"

struct TrimAdapter {
    explicit TrimAdapter(audioMasterCallback host) {
        auto script = std::make_unique<TVormlekEffect>();
        adapter = CreateVeST(script.get(), MakeTrimBridge(), host, 1, script->ParameterCount());
        effect = script.release();  // owned by the adapter from here on
        effect->adapter = adapter;
    }
    ~TrimAdapter() { delete adapter; }
    TrimAdapter(const TrimAdapter&) = delete;
    TrimAdapter& operator=(const TrimAdapter&) = delete;

    AEffect* aeffect() const noexcept { return adapter->getAeffect(); }

    TVormlekEffect* effect = nullptr;
    CVeST* adapter = nullptr;
};
