// A channel of host samples times a gain, in one pass, exactly as the frame loop would leave it for
// a script whose DoSample sets each channel to itself times a gain: the product in double, a
// non-finite one 0 (the safe store), and in float a product too large for a float 0 as well.
#pragma once

#include <cstdint>

#include "runtime/Kernels.h"

namespace vormlek {

// Scales frames samples of input into output; output may be input itself, but must not overlap it
// otherwise.
template <typename Sample>
using ChannelScaler = void (*)(const Sample* input, Sample* output, std::int32_t frames, double gain) noexcept;

// The scaler built for a kernel, or the portable one where the kernel is not supported. A block
// loop takes it once, so each channel costs one direct call.
template <typename Sample>
ChannelScaler<Sample> ChannelScalerFor(Kernel kernel) noexcept;

}  // namespace vormlek
