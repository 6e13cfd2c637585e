// The spectral tables and the FFT against their definitions and a long-double DFT: every size, both
// directions, both reorderings, both kernels, and the checks on script memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <numbers>
#include <span>
#include <vector>

#include "runtime/TransformTables.h"
#include "runtime/Transforms.h"
#include "tests/TransformTestHelpers.h"

using namespace vormlek;

namespace {

using Complex = std::complex<long double>;

// The split-radix order straight from its recursive definition.
std::int32_t RecursiveOrder(std::int32_t n, std::int32_t p) {
    if (n <= 2) return p;
    if (p < n / 2) return 2 * RecursiveOrder(n / 2, p);
    const std::int32_t q = p - n / 2, c = n / 4;
    if (q < c) return 4 * RecursiveOrder(c, q) + 1;
    return (4 * RecursiveOrder(c, q - c) - 1) & (n - 1);
}

// Complex values (interleaved doubles) moved from natural into internal order: position p holds
// the value of natural index s(p).
std::vector<double> InInternalOrder(const std::vector<double>& natural) {
    const auto size = static_cast<std::int32_t>(natural.size() / 2);
    std::vector<double> internal(natural.size());
    for (std::int32_t p = 0; p < size; ++p) {
        const std::size_t from = 2 * static_cast<std::size_t>(RecursiveOrder(size, p));
        internal[2 * static_cast<std::size_t>(p)] = natural[from];
        internal[2 * static_cast<std::size_t>(p) + 1] = natural[from + 1];
    }
    return internal;
}

// A plain O(N^2) DFT with kernel e^(sign 2 pi i nk/N), in long double, natural order in and out.
std::vector<Complex> Dft(const std::vector<double>& interleaved, int sign) {
    const std::size_t n = interleaved.size() / 2;
    std::vector<Complex> roots(n);
    for (std::size_t j = 0; j < n; ++j) roots[j] = std::polar(1.0L, sign * 2 * std::numbers::pi_v<long double> * j / n);
    std::vector<Complex> out(n);
    for (std::size_t k = 0; k < n; ++k)
        for (std::size_t i = 0; i < n; ++i)
            out[k] += Complex(interleaved[2 * i], interleaved[2 * i + 1]) * roots[(i * k) % n];
    return out;
}

std::vector<long double> Interleave(const std::vector<Complex>& values) {
    std::vector<long double> out;
    for (const Complex& value : values) {
        out.push_back(value.real());
        out.push_back(value.imag());
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Tables

TEST(SpectralTables, RadixSixteenConstantsCarryTheirLastPlaceAdjustments) {
    const auto c = Radix16Constants();
    EXPECT_DOUBLE_EQ(c[0], std::cos(std::numbers::pi / 8));
    EXPECT_DOUBLE_EQ(c[1], std::sin(std::numbers::pi / 8));
    EXPECT_EQ(c[2], 0.7071067811865476);
    EXPECT_EQ(c[3], 0.7071067811865475);
    EXPECT_EQ(c[3], std::nextafter(c[2], 0.0));
    EXPECT_EQ(c[4], 0.38268343236508984);
    EXPECT_EQ(c[4], std::nextafter(c[1], 1.0));
    EXPECT_EQ(c[5], c[0]);
}

TEST(SpectralTables, TwiddleTablesHoldAQuarterUpTo512AndAnEighthAbove) {
    EXPECT_EQ(Twiddles(32).size(), 2u * 7);
    EXPECT_EQ(Twiddles(64).size(), 2u * 15);
    EXPECT_EQ(Twiddles(512).size(), 2u * 127);
    EXPECT_EQ(Twiddles(1024).size(), 2u * 127);
    EXPECT_EQ(Twiddles(32768).size(), 2u * 4095);
    EXPECT_TRUE(Twiddles(16).empty());
    EXPECT_TRUE(Twiddles(65536).empty());
    EXPECT_TRUE(Twiddles(96).empty());
}

TEST(SpectralTables, TwiddlesAreCosineAndSineOfTheirAngleAtEverySize) {
    for (std::int32_t size : PowersOfTwo(32, 32768)) {
        const auto pairs = Twiddles(size);
        for (std::size_t k = 1; k <= pairs.size() / 2; ++k) {
            const long double angle = 2 * std::numbers::pi_v<long double> * k / size;
            ASSERT_NEAR(pairs[2 * (k - 1)], std::cos(angle), 5e-16) << size << " " << k;
            ASSERT_NEAR(pairs[2 * (k - 1) + 1], std::sin(angle), 5e-16) << size << " " << k;
        }
    }
}

TEST(SpectralTables, SmallReorderingTablesAreAsDerivedByHand) {
    auto asVector = [](std::span<const std::int32_t> table) { return std::vector<std::int32_t>(table.begin(), table.end()); };
    EXPECT_EQ(asVector(Reordering(2)), (std::vector<std::int32_t>{0, 1}));
    EXPECT_EQ(asVector(Reordering(4)), (std::vector<std::int32_t>{0, 3, 1, 2}));
    EXPECT_EQ(asVector(Reordering(8)), (std::vector<std::int32_t>{0, 6, 3, 5, 1, 7, 2, 4}));
    EXPECT_EQ(asVector(Reordering(16).first(8)), (std::vector<std::int32_t>{0, 12, 6, 11, 3, 15, 5, 9}));
    EXPECT_TRUE(Reordering(1).empty());
    EXPECT_TRUE(Reordering(65536).empty());
    EXPECT_TRUE(Reordering(24).empty());
}

TEST(SpectralTables, OrderAndReorderingFollowTheRecursiveDefinitionAtEverySize) {
    std::size_t entries = 0;
    for (std::int32_t size : PowersOfTwo(2, 32768)) {
        const auto table = Reordering(size);
        ASSERT_EQ(table.size(), static_cast<std::size_t>(size));
        entries += table.size();
        std::vector<std::int32_t> expected(static_cast<std::size_t>(size), -1);
        expected[0] = 0;
        for (std::int32_t p = 0; p < size; ++p) {
            const std::int32_t natural = RecursiveOrder(size, p);
            ASSERT_EQ(SplitRadixOrder(size, p), natural) << size << " " << p;
            if (p > 0) expected[static_cast<std::size_t>(size - natural)] = p;
        }
        ASSERT_TRUE(std::equal(table.begin(), table.end(), expected.begin())) << size;
    }
    EXPECT_EQ(entries, static_cast<std::size_t>(kReorderingEntries));
    // The tables lie back to back, smallest first.
    EXPECT_EQ(Reordering(4).data(), Reordering(2).data() + 2);
    EXPECT_EQ(Reordering(32768).data(), Reordering(2).data() + 32766);
}

// ---------------------------------------------------------------------------------------------
// FFT

TEST(Fft, ForwardModeMatchesThePositiveKernelDftInInternalOrder) {
    for (std::int32_t size : PowersOfTwo(16, 1024)) {
        std::vector<double> block = RandomDoubles(2 * static_cast<std::size_t>(size), static_cast<unsigned>(size));
        const std::vector<Complex> spectrum = Dft(block, +1);
        FftBlock(block.data(), size, kFftForward);
        std::vector<long double> expected;
        for (std::int32_t p = 0; p < size; ++p) {
            const Complex value = spectrum[static_cast<std::size_t>(RecursiveOrder(size, p))];
            expected.push_back(value.real());
            expected.push_back(value.imag());
        }
        EXPECT_LT(RelativeError(block, expected), 1e-12) << size;
    }
}

TEST(Fft, InverseModeMatchesTheNegativeKernelDftFromInternalOrder) {
    for (std::int32_t size : PowersOfTwo(16, 1024)) {
        const std::vector<double> natural = RandomDoubles(2 * static_cast<std::size_t>(size), 1000u + static_cast<unsigned>(size));
        std::vector<double> block = InInternalOrder(natural);
        FftBlock(block.data(), size, kFftInverse);
        EXPECT_LT(RelativeError(block, Interleave(Dft(natural, -1))), 1e-12) << size;
    }
}

// Beyond the full DFT's reach, the DFT at sampled bins only (each costs O(N)): a stage's twiddle off
// by a swap or a sign in both directions alike would still give back the input, but not these bins.
TEST(Fft, BothModesMatchTheDftAtSampledBinsUpToTheLargestSize) {
    constexpr std::int32_t kBinStride = 257;
    for (std::int32_t size : PowersOfTwo(2048, 32768)) {
        std::vector<Complex> roots(static_cast<std::size_t>(size));
        for (std::int32_t j = 0; j < size; ++j)
            roots[static_cast<std::size_t>(j)] = std::polar(1.0L, 2 * std::numbers::pi_v<long double> * j / size);
        // Bin k of the DFT with kernel e^(sign 2 pi i nk/N).
        auto bin = [&](const std::vector<double>& natural, std::int32_t k, int sign) {
            Complex sum = 0;
            for (std::int32_t n = 0; n < size; ++n) {
                const std::int64_t turn = (static_cast<std::int64_t>(n) * k * sign % size + size) % size;
                sum += Complex(natural[2 * static_cast<std::size_t>(n)], natural[2 * static_cast<std::size_t>(n) + 1]) *
                       roots[static_cast<std::size_t>(turn)];
            }
            return sum;
        };
        const std::vector<double> natural = RandomDoubles(2 * static_cast<std::size_t>(size), 19u + static_cast<unsigned>(size));

        std::vector<double> forward = natural;
        FftBlock(forward.data(), size, kFftForward);
        std::vector<double> inverse = InInternalOrder(natural);
        FftBlock(inverse.data(), size, kFftInverse);

        std::vector<double> forwardSeen, inverseSeen;
        std::vector<long double> forwardExpected, inverseExpected;
        for (std::int32_t p = 0; p < size; p += kBinStride) {
            const std::size_t at = 2 * static_cast<std::size_t>(p);
            forwardSeen.insert(forwardSeen.end(), {forward[at], forward[at + 1]});
            const Complex forwardBin = bin(natural, RecursiveOrder(size, p), +1);
            forwardExpected.insert(forwardExpected.end(), {forwardBin.real(), forwardBin.imag()});
            inverseSeen.insert(inverseSeen.end(), {inverse[at], inverse[at + 1]});
            const Complex inverseBin = bin(natural, p, -1);
            inverseExpected.insert(inverseExpected.end(), {inverseBin.real(), inverseBin.imag()});
        }
        EXPECT_LT(RelativeError(forwardSeen, forwardExpected), 1e-12) << size;
        EXPECT_LT(RelativeError(inverseSeen, inverseExpected), 1e-12) << size;
    }
}

TEST(Fft, ForwardThenInverseGivesSizeTimesTheInputAtEverySize) {
    for (std::int32_t size : PowersOfTwo(16, 32768)) {
        const std::vector<double> input = RandomDoubles(2 * static_cast<std::size_t>(size), 7u);
        std::vector<double> block = input;
        FftBlock(block.data(), size, kFftForward);
        FftBlock(block.data(), size, kFftInverse);
        std::vector<long double> expected(input.begin(), input.end());
        for (long double& value : expected) value *= size;
        EXPECT_LT(RelativeError(block, expected), 1e-13) << size;
    }
}

TEST(Fft, ReorderingAfterTheForwardPassGivesTheUsualSpectrumInNaturalOrder) {
    for (std::int32_t size : {16, 128, 1024}) {
        std::vector<double> block = RandomDoubles(2 * static_cast<std::size_t>(size), 3u);
        const std::vector<long double> expected = Interleave(Dft(block, -1));
        FftBlock(block.data(), size, kFftForward);
        FftBlock(block.data(), size, kFftToNatural);
        EXPECT_LT(RelativeError(block, expected), 1e-12) << size;
    }
}

TEST(Fft, ReorderingBeforeTheInversePassGivesTheUsualInverseFromNaturalOrder) {
    for (std::int32_t size : {16, 256, 1024}) {
        std::vector<double> block = RandomDoubles(2 * static_cast<std::size_t>(size), 5u);
        const std::vector<long double> expected = Interleave(Dft(block, +1));
        FftBlock(block.data(), size, kFftFromNatural);
        FftBlock(block.data(), size, kFftInverse);
        EXPECT_LT(RelativeError(block, expected), 1e-12) << size;
    }
}

TEST(Fft, TheTwoReorderingModesUndoEachOtherExactlyAtEverySize) {
    for (std::int32_t size : PowersOfTwo(16, 32768)) {
        const std::vector<double> input = RandomDoubles(2 * static_cast<std::size_t>(size), 11u);
        std::vector<double> block = input;
        FftBlock(block.data(), size, kFftToNatural);
        for (std::int32_t m = 0; m < size; m += 97) {
            const std::size_t from = 2 * static_cast<std::size_t>(Reordering(size)[static_cast<std::size_t>(m)]);
            ASSERT_EQ(block[2 * static_cast<std::size_t>(m)], input[from]) << size << " " << m;
            ASSERT_EQ(block[2 * static_cast<std::size_t>(m) + 1], input[from + 1]) << size << " " << m;
        }
        FftBlock(block.data(), size, kFftFromNatural);
        ASSERT_EQ(block, input) << size;
    }
}

// The bit patterns of a block, so that a zero of the other sign counts as a difference.
std::vector<std::uint64_t> BitsOf(const std::vector<double>& values) {
    std::vector<std::uint64_t> bits(values.size());
    std::memcpy(bits.data(), values.data(), values.size() * sizeof(double));
    return bits;
}

TEST(Fft, ThePortableAndTheAvx2KernelGiveTheSameBitsAtEverySize) {
    if (!FftKernelSupported(FftKernel::kAvx2)) GTEST_SKIP() << "the AVX2 kernel is not used on this processor or platform";
    for (std::int32_t size : PowersOfTwo(16, 32768)) {
        for (std::int32_t mode : {kFftForward, kFftInverse}) {
            std::vector<double> portable = RandomDoubles(2 * static_cast<std::size_t>(size), 37u);
            std::vector<double> avx2 = portable;
            FftBlock(portable.data(), size, mode, FftKernel::kPortable);
            FftBlock(avx2.data(), size, mode, FftKernel::kAvx2);
            ASSERT_EQ(BitsOf(portable), BitsOf(avx2)) << size << " mode " << mode;
        }
    }
}

// FNV-1a over the bits of each value.
void Hash(std::uint64_t& hash, std::span<const double> values) {
    for (const double value : values) {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        for (int byte = 0; byte < 8; ++byte) hash = (hash ^ ((bits >> (8 * byte)) & 0xffu)) * 0x100000001b3u;
    }
}

// Every size and both modes hashed: faster passes must keep each value's operations and their
// order, and so these bits. The twiddles come from the C library's cosine and sine, whose last bits
// differ between glibc and mingw-w64, so the outputs are pinned for the tables of each.
TEST(Fft, OutputsKeepTheirBits) {
    struct Pinned {
        std::uint64_t tables, outputs;
    };
    constexpr Pinned kPinned[] = {
        {0xec913a7064522320u, 0x7a51cac90f9ce2cau},  // glibc
        {0xb07269507951aa50u, 0x0e00e5ee2638893bu},  // mingw-w64, both DLLs
    };
    std::uint64_t tables = 0xcbf29ce484222325u, outputs = tables;
    for (std::int32_t size : PowersOfTwo(32, 32768)) Hash(tables, Twiddles(size));
    Hash(tables, Radix16Constants());
    const auto pinned = std::find_if(std::begin(kPinned), std::end(kPinned), [&](const Pinned& p) { return p.tables == tables; });
    if (pinned == std::end(kPinned)) GTEST_SKIP() << "no outputs pinned for this math library's twiddles, hash " << std::hex << tables;

    for (std::int32_t size : PowersOfTwo(16, 32768)) {
        for (std::int32_t mode : {kFftForward, kFftInverse}) {
            std::vector<double> block = RandomDoubles(2 * static_cast<std::size_t>(size), 41u);
            FftBlock(block.data(), size, mode, FftKernel::kPortable);
            Hash(outputs, block);
        }
    }
    EXPECT_EQ(outputs, pinned->outputs) << std::hex << outputs;
}

TEST(Fft, WorksOnScriptMemoryRoundingTheSizeDownToAPowerOfTwo) {
    Store memory;
    const std::int32_t index = -4000;  // page -1; 2 * 1000 doubles fit before its end
    const std::vector<double> input = RandomDoubles(2000, 13u);
    std::copy(input.begin(), input.end(), &memory.Memory(index));

    Fft(memory, index, 1000, kFftForward);
    std::vector<double> expected(input.begin(), input.begin() + 1024);
    FftBlock(expected.data(), 512, kFftForward);
    const double* block = &memory.Memory(index);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), block));
    EXPECT_TRUE(std::equal(input.begin() + 1024, input.end(), block + 1024));  // beyond 512 values: untouched
}

TEST(Fft, IgnoresSizesOutsideItsRangeUnknownModesAndBlocksCrossingAPage) {
    Store memory;
    const std::vector<double> input = RandomDoubles(65536, 17u);
    std::copy(input.begin(), input.end(), memory.MemoryRun(0, 65536));
    auto unchanged = [&] { return std::equal(input.begin(), input.end(), memory.MemoryRun(0, 65536)); };

    for (std::int32_t size : {15, 8, 1, 0, -16, 65536, 1 << 30}) {
        Fft(memory, 0, size, kFftForward);
        ASSERT_TRUE(unchanged()) << size;
    }
    for (std::int32_t mode : {2, 3, 6, -1, 8}) {
        Fft(memory, 0, 16, mode);
        ASSERT_TRUE(unchanged()) << mode;
    }
    Fft(memory, 65536 - 30, 16, kFftForward);  // 32 doubles from offset 65506 would leave page 0
    EXPECT_TRUE(unchanged());
    EXPECT_EQ(memory.PageCount(), 1u);

    Fft(memory, 0, 40000, kFftForward);  // rounds down to 32768, which fills the page exactly
    std::vector<double> expected = input;
    FftBlock(expected.data(), 32768, kFftForward);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), memory.MemoryRun(0, 65536)));
}

}  // namespace
