// The MDCT and its inverse against the direct formulas in long double at every size, their
// reconstruction when overlap-added, and the checks on script memory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "runtime/Transforms.h"
#include "tests/TransformTestHelpers.h"

using namespace vormlek;

namespace {

std::vector<long double> Window(std::int32_t size) {
    std::vector<long double> window(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < window.size(); ++i) window[i] = std::sin(std::numbers::pi_v<long double> * (i + 0.5L) / size);
    return window;
}

// cos(pi/(2N) (2n + 1 + N/2)(2k + 1)), with the product reduced modulo its period 4N.
struct MdctCosines {
    explicit MdctCosines(std::int32_t size) : size(size), table(4 * static_cast<std::size_t>(size)) {
        for (std::size_t j = 0; j < table.size(); ++j) table[j] = std::cos(std::numbers::pi_v<long double> * j / (2 * size));
    }
    long double operator()(std::int32_t n, std::int32_t k) const {
        const std::int64_t product = static_cast<std::int64_t>(2 * n + 1 + size / 2) * (2 * k + 1);
        return table[static_cast<std::size_t>(product % (4 * size))];
    }
    std::int32_t size;
    std::vector<long double> table;
};

std::vector<long double> DirectMdctReference(const std::vector<double>& input) {
    const std::int32_t size = static_cast<std::int32_t>(input.size());
    const MdctCosines cosines(size);
    const std::vector<long double> window = Window(size);
    std::vector<long double> out(input.size() / 2);
    for (std::int32_t k = 0; k < size / 2; ++k)
        for (std::int32_t n = 0; n < size; ++n)
            out[static_cast<std::size_t>(k)] += input[static_cast<std::size_t>(n)] * window[static_cast<std::size_t>(n)] * cosines(n, k);
    return out;
}

std::vector<long double> DirectInverseMdctReference(const std::vector<double>& coefficients) {
    const std::int32_t size = 2 * static_cast<std::int32_t>(coefficients.size());
    const MdctCosines cosines(size);
    const std::vector<long double> window = Window(size);
    std::vector<long double> out(static_cast<std::size_t>(size));
    for (std::int32_t n = 0; n < size; ++n) {
        for (std::int32_t k = 0; k < size / 2; ++k) out[static_cast<std::size_t>(n)] += coefficients[static_cast<std::size_t>(k)] * cosines(n, k);
        out[static_cast<std::size_t>(n)] *= window[static_cast<std::size_t>(n)];
    }
    return out;
}

// The size-32 transform applies 4/N on the inverse side, the larger ones on the forward side.
long double ForwardScale(std::int32_t size) { return size <= 32 ? 1.0L : 4.0L / size; }
long double InverseScale(std::int32_t size) { return size <= 32 ? 4.0L / size : 1.0L; }

TEST(Mdct, MatchesTheDirectFormulaAtEverySize) {
    for (std::int32_t size : PowersOfTwo(32, 4096)) {
        const std::vector<double> input = RandomDoubles(static_cast<std::size_t>(size), 19u + static_cast<unsigned>(size));
        std::vector<long double> expected = DirectMdctReference(input);
        for (long double& value : expected) value *= ForwardScale(size);
        std::vector<double> block = input;
        MdctBlock(block.data(), size);
        EXPECT_LT(RelativeError(std::vector<double>(block.begin(), block.begin() + size / 2), expected), 1e-12) << size;
        EXPECT_TRUE(std::equal(block.begin() + size / 2, block.end(), input.begin() + size / 2)) << size;
    }
}

TEST(Mdct, InverseMatchesTheDirectFormulaAtEverySize) {
    for (std::int32_t size : PowersOfTwo(32, 4096)) {
        const std::vector<double> coefficients = RandomDoubles(static_cast<std::size_t>(size / 2), 23u + static_cast<unsigned>(size));
        std::vector<long double> expected = DirectInverseMdctReference(coefficients);
        for (long double& value : expected) value *= InverseScale(size);
        std::vector<double> block = coefficients;
        block.resize(static_cast<std::size_t>(size), 99.0);
        InverseMdctBlock(block.data(), size);
        EXPECT_LT(RelativeError(block, expected), 1e-12) << size;
    }
}

// Frames of N samples every N/2, transformed forward and back and overlap-added: the aliasing of
// neighbouring frames cancels and the squared sine windows of the overlap sum to 1, so every
// sample covered by two frames comes back as it went in.
TEST(Mdct, OverlappingForwardAndInverseFramesReconstructTheSignalAtEverySize) {
    for (std::int32_t size : PowersOfTwo(32, 4096)) {
        const std::size_t hop = static_cast<std::size_t>(size / 2);
        const std::vector<double> signal = RandomDoubles(6 * hop, 29u);
        std::vector<double> sum(signal.size(), 0.0);
        for (std::size_t start = 0; start + 2 * hop <= signal.size(); start += hop) {
            std::vector<double> frame(signal.begin() + static_cast<std::ptrdiff_t>(start),
                                      signal.begin() + static_cast<std::ptrdiff_t>(start + 2 * hop));
            MdctBlock(frame.data(), size);
            InverseMdctBlock(frame.data(), size);
            for (std::size_t i = 0; i < frame.size(); ++i) sum[start + i] += frame[i];
        }
        const std::vector<double> inner(sum.begin() + static_cast<std::ptrdiff_t>(hop), sum.end() - static_cast<std::ptrdiff_t>(hop));
        const std::vector<double> original(signal.begin() + static_cast<std::ptrdiff_t>(hop), signal.end() - static_cast<std::ptrdiff_t>(hop));
        EXPECT_LT(RelativeError(inner, original), 1e-13) << size;
    }
}

TEST(Mdct, WorksOnScriptMemoryWithSizesRoundedDownAndRefusesOthers) {
    Store memory;
    const std::vector<double> input = RandomDoubles(200, 31u);
    const std::int32_t index = 3 * 65536 + 100;
    std::copy(input.begin(), input.end(), &memory.Memory(index));

    Mdct(memory, index, 200);  // rounds down to 128
    std::vector<double> expected = input;
    MdctBlock(expected.data(), 128);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), &memory.Memory(index)));

    InverseMdct(memory, index, 255);
    InverseMdctBlock(expected.data(), 128);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), &memory.Memory(index)));

    for (std::int32_t size : {31, 16, 0, -64, 8192, 1 << 20}) {
        Mdct(memory, index, size);
        InverseMdct(memory, index, size);
    }
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), &memory.Memory(index)));

    const std::int32_t pageTail = 4 * 65536 - 63;  // 64 values from here would reach into page 4
    std::copy(input.begin(), input.begin() + 63, &memory.Memory(pageTail));
    Mdct(memory, pageTail, 64);
    InverseMdct(memory, pageTail, 64);
    EXPECT_TRUE(std::equal(input.begin(), input.begin() + 63, &memory.Memory(pageTail)));
    EXPECT_EQ(memory.PageCount(), 1u);
}

}  // namespace
