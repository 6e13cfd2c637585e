// A plug-in binary loaded once and driven as a host drives it, for the benchmarks.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "tools/driver/Plugin.h"
#include "tools/support/Precision.h"

namespace bench {

// What the benchmarks' host tells a plug-in: playing at 120 bpm in 4/4.
inline VstTimeInfo hostTimeInfo = [] {
    VstTimeInfo info{};
    info.sampleRate = 48000.0;
    info.tempo = 120.0;
    info.timeSigNumerator = 4;
    info.timeSigDenominator = 4;
    info.flags = kVstTransportPlaying | kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid;
    return info;
}();

// The host callback: the version, the time information and 0 for everything else, answered as
// directly as a host answers them, so that the times are the plug-in's own. It records nothing.
inline VstIntPtr VSTCALLBACK HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
    case audioMasterVersion: return kVstVersion;
    case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(&hostTimeInfo);
    default: return 0;
    }
}

class HostedPlugin {
public:
    // Loads and starts the plug-in at 48 kHz for blocks of up to maxFrames; exits on failure, since a
    // benchmark without its plug-in has nothing to say.
    HostedPlugin(const std::string& path, VstInt32 maxFrames) {
        if (!library.load(path)) {
            std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), library.error().c_str());
            std::exit(1);
        }
        const VstPluginMainProc entry = library.entry();
        AEffect* aeffect = entry != nullptr ? entry(&HostCallback) : nullptr;
        if (aeffect == nullptr || aeffect->magic != kEffectMagic) {
            std::fprintf(stderr, "%s gives no plug-in instance\n", path.c_str());
            std::exit(1);
        }
        plugin = std::make_unique<vsthost::Plugin>(aeffect);
        plugin->start(48000.0f, maxFrames);
    }

    template <typename Sample>
    void process(Sample** inputs, Sample** outputs, VstInt32 frames) const {
        vsthost::ProcessReplacing(plugin->aeffect(), inputs, outputs, frames);
    }

    const vsthost::Plugin& instance() const noexcept { return *plugin; }
    // The channels a block needs: the larger of the plug-in's input and output counts.
    int channels() const noexcept { return std::max(plugin->fields().numInputs, plugin->fields().numOutputs); }

private:
    vsthost::PluginLibrary library;
    std::unique_ptr<vsthost::Plugin> plugin;  // declared last: closed before the library unloads
};

}  // namespace bench
