// The element-wise products of complex blocks in script memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <cstdint>
#include <vector>

#include "runtime/Transforms.h"
#include "tests/TransformTestHelpers.h"

using namespace vormlek;

namespace {

struct ProductFixture : ::testing::Test {
    static constexpr std::int32_t kLeft = 0, kRight = 100, kDestination = 200;

    void SetUp() override {
        memory.Memory(0) = 0.0;
        left = {1, 2, 3, -4, 0.5, 0, -1, -1, 9, 9};
        right = {5, -6, 0, 1, 2, 2, 3, 0.25, 9, 9};
        destination = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
        std::copy(left.begin(), left.end(), &memory.Memory(kLeft));
        std::copy(right.begin(), right.end(), &memory.Memory(kRight));
        std::copy(destination.begin(), destination.end(), &memory.Memory(kDestination));
    }

    std::complex<double> At(std::int32_t index, std::int32_t value) {
        return {memory.Memory(index + 2 * value), memory.Memory(index + 2 * value + 1)};
    }
    static std::complex<double> Of(const std::vector<double>& block, std::int32_t value) {
        return {block[static_cast<std::size_t>(2 * value)], block[static_cast<std::size_t>(2 * value + 1)]};
    }

    Store memory;
    std::vector<double> left, right, destination;
};

TEST_F(ProductFixture, MultiplyIntoWritesTheProductsOfAnEvenCount) {
    ComplexMultiplyInto(memory, kDestination, kLeft, kRight, 5);  // odd: the last value stays
    for (std::int32_t v = 0; v < 4; ++v) EXPECT_EQ(At(kDestination, v), Of(left, v) * Of(right, v)) << v;
    EXPECT_EQ(At(kDestination, 4), Of(destination, 4));
    EXPECT_EQ(At(kDestination, 0), std::complex<double>(17, 4));
}

TEST_F(ProductFixture, MultiplyAddAccumulatesIntoTheDestination) {
    ComplexMultiplyAdd(memory, kDestination, kLeft, kRight, 4);
    ComplexMultiplyAdd(memory, kDestination, kLeft, kRight, 4);
    for (std::int32_t v = 0; v < 4; ++v) EXPECT_EQ(At(kDestination, v), Of(destination, v) + 2.0 * Of(left, v) * Of(right, v)) << v;
    EXPECT_EQ(At(kDestination, 4), Of(destination, 4));
}

TEST_F(ProductFixture, MultiplyInPlaceAlsoTakesTheSameBlockTwice) {
    ComplexMultiply(memory, kLeft, kRight, 4);
    for (std::int32_t v = 0; v < 4; ++v) EXPECT_EQ(At(kLeft, v), Of(left, v) * Of(right, v)) << v;
    ComplexMultiply(memory, kRight, kRight, 2);
    for (std::int32_t v = 0; v < 2; ++v) EXPECT_EQ(At(kRight, v), Of(right, v) * Of(right, v)) << v;
}

TEST_F(ProductFixture, RefusesCountsBelowTwoAndBlocksThatCrossAPage) {
    ComplexMultiplyInto(memory, kDestination, kLeft, kRight, 1);
    ComplexMultiplyInto(memory, kDestination, kLeft, kRight, 0);
    ComplexMultiplyInto(memory, kDestination, kLeft, kRight, -4);
    ComplexMultiplyInto(memory, kDestination, kLeft, 65536 - 6, 4);  // right operand would cross
    ComplexMultiplyAdd(memory, 65536 - 2, kLeft, kRight, 2);          // destination would cross
    ComplexMultiply(memory, -2, kRight, 2);
    for (std::int32_t v = 0; v < 5; ++v) EXPECT_EQ(At(kDestination, v), Of(destination, v)) << v;
    for (std::int32_t v = 0; v < 5; ++v) EXPECT_EQ(At(kRight, v), Of(right, v)) << v;
    EXPECT_EQ(memory.PageCount(), 1u);
}

}  // namespace
