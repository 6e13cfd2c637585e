// Code written once for both sample types reaches the processing entry of its type through this.
#pragma once

#include <type_traits>

#include "vst/vst24.h"

namespace vsthost {

// processReplacing for float samples, processDoubleReplacing for double samples.
template <typename Sample>
void ProcessReplacing(AEffect* aeffect, Sample** inputs, Sample** outputs, VstInt32 frames) {
    static_assert(std::is_same_v<Sample, float> || std::is_same_v<Sample, double>);
    if constexpr (std::is_same_v<Sample, float>)
        aeffect->processReplacing(aeffect, inputs, outputs, frames);
    else
        aeffect->processDoubleReplacing(aeffect, inputs, outputs, frames);
}

}  // namespace vsthost
