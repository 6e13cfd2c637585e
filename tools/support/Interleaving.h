// Between the interleaved frames of audio files and the planar buffers of the processing entries.
// The channel counts met most (1, 2, 4) get loops of a fixed width the compiler turns into vector
// shuffles; any other count takes a plain loop over the channels.
#pragma once

#include <algorithm>
#include <cstddef>

namespace vsthost {

namespace interleaving_detail {

template <typename Sample, int Channels>
void SplitFixed(const Sample* __restrict interleaved, Sample* const* planar, std::size_t frames) {
    if constexpr (Channels == 2) {
        Sample* __restrict first = planar[0];
        Sample* __restrict second = planar[1];
        for (std::size_t f = 0; f < frames; ++f) {
            first[f] = interleaved[2 * f];
            second[f] = interleaved[2 * f + 1];
        }
    } else {
        static_assert(Channels == 4);
        Sample* __restrict first = planar[0];
        Sample* __restrict second = planar[1];
        Sample* __restrict third = planar[2];
        Sample* __restrict fourth = planar[3];
        for (std::size_t f = 0; f < frames; ++f) {
            first[f] = interleaved[4 * f];
            second[f] = interleaved[4 * f + 1];
            third[f] = interleaved[4 * f + 2];
            fourth[f] = interleaved[4 * f + 3];
        }
    }
}

template <typename Sample, int Channels>
void JoinFixed(Sample* const* planar, std::size_t frames, Sample* __restrict interleaved) {
    if constexpr (Channels == 2) {
        const Sample* __restrict first = planar[0];
        const Sample* __restrict second = planar[1];
        for (std::size_t f = 0; f < frames; ++f) {
            interleaved[2 * f] = first[f];
            interleaved[2 * f + 1] = second[f];
        }
    } else {
        static_assert(Channels == 4);
        const Sample* __restrict first = planar[0];
        const Sample* __restrict second = planar[1];
        const Sample* __restrict third = planar[2];
        const Sample* __restrict fourth = planar[3];
        for (std::size_t f = 0; f < frames; ++f) {
            interleaved[4 * f] = first[f];
            interleaved[4 * f + 1] = second[f];
            interleaved[4 * f + 2] = third[f];
            interleaved[4 * f + 3] = fourth[f];
        }
    }
}

}  // namespace interleaving_detail

// Writes frames interleaved frames of channels samples each into planar[c].
template <typename Sample>
void Deinterleave(const Sample* interleaved, int channels, Sample* const* planar, std::size_t frames) {
    using namespace interleaving_detail;
    switch (channels) {
        case 1: std::copy(interleaved, interleaved + frames, planar[0]); return;
        case 2: SplitFixed<Sample, 2>(interleaved, planar, frames); return;
        case 4: SplitFixed<Sample, 4>(interleaved, planar, frames); return;
        default:
            for (int c = 0; c < channels; ++c) {
                Sample* channel = planar[c];
                for (std::size_t f = 0; f < frames; ++f) channel[f] = interleaved[f * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)];
            }
    }
}

// Writes planar[c] as frames interleaved frames of channels samples each.
template <typename Sample>
void Interleave(Sample* const* planar, int channels, std::size_t frames, Sample* interleaved) {
    using namespace interleaving_detail;
    switch (channels) {
        case 1: std::copy(planar[0], planar[0] + frames, interleaved); return;
        case 2: JoinFixed<Sample, 2>(planar, frames, interleaved); return;
        case 4: JoinFixed<Sample, 4>(planar, frames, interleaved); return;
        default:
            for (int c = 0; c < channels; ++c) {
                const Sample* channel = planar[c];
                for (std::size_t f = 0; f < frames; ++f) interleaved[f * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = channel[f];
            }
    }
}

}  // namespace vsthost
