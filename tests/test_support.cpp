// The helpers that tests, benchmarks and the command-line host share, where a fault would hide
// behind the tests that use them: buffers whose copies must not write into the original, and the
// moves between interleaved and planar order.
#include <gtest/gtest.h>

#include <cstddef>
#include <utility>
#include <vector>

#include "tools/support/ChannelBuffers.h"
#include "tools/support/Interleaving.h"

using vsthost::ChannelBuffers;

TEST(ChannelBuffers, CopiesAndMovesWriteOnlyIntoTheirOwnSamples) {
    const ChannelBuffers<float> original(3, 4, 1.0f);

    ChannelBuffers<float> copy = original;
    copy.pointers()[1][2] = 5.0f;
    ChannelBuffers<float> assigned(1, 1);
    assigned = original;
    assigned.pointers()[2][3] = 6.0f;
    EXPECT_EQ(original, ChannelBuffers<float>(3, 4, 1.0f)) << "a copy's addresses are its own";
    EXPECT_EQ(copy[1][2], 5.0f);
    EXPECT_EQ(assigned[2][3], 6.0f);

    ChannelBuffers<float> moved = std::move(copy);
    moved.pointers()[0][0] = 7.0f;
    EXPECT_EQ(moved[0][0], 7.0f);
    EXPECT_EQ(moved[1][2], 5.0f);
    EXPECT_EQ(moved.pointers()[3], nullptr) << "the address array ends with a null slot";
}

// Every channel count, the ones with loops of their own and the rest, in every pairing of types: each
// sample lands in its channel at its frame, converted as a C conversion converts it.
template <typename From, typename To>
void ExpectInterleavingRoundTrip() {
    for (int channels = 1; channels <= 6; ++channels) {
        const std::size_t frames = 37;
        std::vector<From> interleaved(frames * static_cast<std::size_t>(channels));
        for (std::size_t i = 0; i < interleaved.size(); ++i) interleaved[i] = From(0.1) * From(i) - From(3);
        ChannelBuffers<To> planar(channels, static_cast<int>(frames));
        vsthost::Deinterleave(interleaved.data(), channels, planar.pointers(), frames);
        const auto width = static_cast<std::size_t>(channels);
        for (int c = 0; c < channels; ++c)
            for (std::size_t f = 0; f < frames; ++f)
                ASSERT_EQ(planar[c][f], static_cast<To>(interleaved[f * width + static_cast<std::size_t>(c)]))
                    << channels << " channels, channel " << c << ", frame " << f;
        ChannelBuffers<From> planarBack(channels, static_cast<int>(frames));
        vsthost::Deinterleave(interleaved.data(), channels, planarBack.pointers(), frames);
        std::vector<To> joined(interleaved.size());
        vsthost::Interleave(planarBack.pointers(), channels, frames, joined.data());
        for (std::size_t i = 0; i < joined.size(); ++i)
            ASSERT_EQ(joined[i], static_cast<To>(interleaved[i])) << channels << " channels, sample " << i;
    }
}

TEST(Interleaving, PutsEverySampleInItsChannelAndFrameAndBack) {
    ExpectInterleavingRoundTrip<float, float>();
    ExpectInterleavingRoundTrip<double, double>();
    ExpectInterleavingRoundTrip<float, double>();
    ExpectInterleavingRoundTrip<double, float>();
}
