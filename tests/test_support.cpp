// The helpers that tests, benchmarks and the command-line host share, where a fault would hide
// behind the tests that use them: buffers whose copies must not write into the original.
#include <gtest/gtest.h>

#include <utility>

#include "tools/support/ChannelBuffers.h"

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
