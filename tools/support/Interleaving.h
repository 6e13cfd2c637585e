// Between the interleaved frames of audio files and the planar buffers of the processing entries,
// converting the sample type on the way where the two differ (float to double and back, as a C
// conversion does it). The channel counts met most (1, 2, 4) get loops of a fixed width the compiler
// turns into vector shuffles; any other count takes a plain loop over the channels.
#pragma once

#include <algorithm>
#include <cstddef>

namespace vsthost {

namespace interleaving_detail {

template <typename From, typename To, int Channels>
void SplitFixed(const From* __restrict interleaved, To* const* planar, std::size_t frames) {
    if constexpr (Channels == 2) {
        To* __restrict first = planar[0];
        To* __restrict second = planar[1];
        for (std::size_t f = 0; f < frames; ++f) {
            first[f] = static_cast<To>(interleaved[2 * f]);
            second[f] = static_cast<To>(interleaved[2 * f + 1]);
        }
    } else {
        static_assert(Channels == 4);
        To* __restrict first = planar[0];
        To* __restrict second = planar[1];
        To* __restrict third = planar[2];
        To* __restrict fourth = planar[3];
        for (std::size_t f = 0; f < frames; ++f) {
            first[f] = static_cast<To>(interleaved[4 * f]);
            second[f] = static_cast<To>(interleaved[4 * f + 1]);
            third[f] = static_cast<To>(interleaved[4 * f + 2]);
            fourth[f] = static_cast<To>(interleaved[4 * f + 3]);
        }
    }
}

template <typename From, typename To, int Channels>
void JoinFixed(From* const* planar, std::size_t frames, To* __restrict interleaved) {
    if constexpr (Channels == 2) {
        const From* __restrict first = planar[0];
        const From* __restrict second = planar[1];
        for (std::size_t f = 0; f < frames; ++f) {
            interleaved[2 * f] = static_cast<To>(first[f]);
            interleaved[2 * f + 1] = static_cast<To>(second[f]);
        }
    } else {
        static_assert(Channels == 4);
        const From* __restrict first = planar[0];
        const From* __restrict second = planar[1];
        const From* __restrict third = planar[2];
        const From* __restrict fourth = planar[3];
        for (std::size_t f = 0; f < frames; ++f) {
            interleaved[4 * f] = static_cast<To>(first[f]);
            interleaved[4 * f + 1] = static_cast<To>(second[f]);
            interleaved[4 * f + 2] = static_cast<To>(third[f]);
            interleaved[4 * f + 3] = static_cast<To>(fourth[f]);
        }
    }
}

}  // namespace interleaving_detail

// Writes frames interleaved frames of channels samples each into planar[c].
template <typename From, typename To>
void Deinterleave(const From* interleaved, int channels, To* const* planar, std::size_t frames) {
    using namespace interleaving_detail;
    switch (channels) {
        case 1: std::copy(interleaved, interleaved + frames, planar[0]); return;
        case 2: SplitFixed<From, To, 2>(interleaved, planar, frames); return;
        case 4: SplitFixed<From, To, 4>(interleaved, planar, frames); return;
        default:
            for (int c = 0; c < channels; ++c) {
                To* channel = planar[c];
                const From* sample = interleaved + c;
                for (std::size_t f = 0; f < frames; ++f, sample += channels) channel[f] = static_cast<To>(*sample);
            }
    }
}

// Writes planar[c] as frames interleaved frames of channels samples each.
template <typename From, typename To>
void Interleave(From* const* planar, int channels, std::size_t frames, To* interleaved) {
    using namespace interleaving_detail;
    switch (channels) {
        case 1: std::copy(planar[0], planar[0] + frames, interleaved); return;
        case 2: JoinFixed<From, To, 2>(planar, frames, interleaved); return;
        case 4: JoinFixed<From, To, 4>(planar, frames, interleaved); return;
        default:
            for (int c = 0; c < channels; ++c) {
                const From* channel = planar[c];
                To* sample = interleaved + c;
                for (std::size_t f = 0; f < frames; ++f, sample += channels) *sample = static_cast<To>(channel[f]);
            }
    }
}

}  // namespace vsthost
