#include "runtime/TransformTables.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <numbers>

#include "runtime/BuiltOnce.h"

namespace vormlek {
namespace {

constexpr std::int32_t kSmallestTwiddleSize = 32;
constexpr std::int32_t kLargestTwiddleSize = 32768;
constexpr std::int32_t kLargestTableSizeWithQuarterTwiddles = 512;
constexpr std::int32_t kLargestReorderingSize = 32768;

constexpr bool IsTableSize(std::int32_t size, std::int32_t smallest, std::int32_t largest) noexcept {
    return size >= smallest && size <= largest && std::has_single_bit(static_cast<std::uint32_t>(size));
}

constexpr std::int32_t TwiddlePairCount(std::int32_t size) noexcept {
    return size <= kLargestTableSizeWithQuarterTwiddles ? size / 4 - 1 : size / 8 - 1;
}

// Where the pairs of a size start, counted in doubles, when the tables lie back to back.
constexpr std::int32_t TwiddleOffset(std::int32_t size) noexcept {
    std::int32_t offset = 0;
    for (std::int32_t smaller = kSmallestTwiddleSize; smaller < size; smaller *= 2) offset += 2 * TwiddlePairCount(smaller);
    return offset;
}

constexpr std::int32_t kTwiddleDoubles = TwiddleOffset(2 * kLargestTwiddleSize);

constexpr std::int32_t kSmallestStageSize = 16;
// Each size's stage turns take as many doubles as the size, so all of them take 32768 + ... + 16.
constexpr std::int32_t kStageTurnDoubles = 2 * kLargestTwiddleSize - kSmallestStageSize;
static_assert(static_cast<std::size_t>(std::countr_zero(static_cast<std::uint32_t>(kLargestTwiddleSize))) < std::tuple_size_v<StageTurnList>);

// T_size starts after T_2 .. T_(size/2), which hold 2 + 4 + ... + size/2 = size - 2 entries.
constexpr std::int32_t ReorderingOffset(std::int32_t size) noexcept { return size - 2; }

static_assert(ReorderingOffset(2 * kLargestReorderingSize) == kReorderingEntries);

struct Tables {
    std::array<double, 6> radix16;
    std::array<double, kTwiddleDoubles> twiddles;
    // Aligned to a cache line, so that every vector of turns is aligned to its size (each size's
    // turns start a whole number of cache lines in) and SSE2 multiplies by it straight from memory.
    alignas(64) std::array<double, kStageTurnDoubles> stageTurns;
    StageTurnList stageTurnsBySizeExponent;
    std::array<std::int32_t, kReorderingEntries> reordering;
};

// Static storage: the tables need no allocation, and are only handed out once complete.
Tables tables;
BuiltOnce tablesBuilt;
std::atomic<int> tableBuilds{0};

struct Twiddle {
    double c, s;
};

// The twiddle k of a stage of the given size, from the tables built before it (see StageTurnList).
Twiddle StageTwiddle(std::int32_t size, std::int32_t k) noexcept {
    if (k == 0) return {1.0, 0.0};
    if (size == kSmallestStageSize) return {tables.radix16[2 * (k - 1)], tables.radix16[2 * (k - 1) + 1]};
    const double* pairs = tables.twiddles.data() + TwiddleOffset(size);
    const std::int32_t eighth = size / 8;
    if (k < eighth) return {pairs[2 * (k - 1)], pairs[2 * (k - 1) + 1]};
    if (k == eighth) return {tables.radix16[2], tables.radix16[2]};
    const std::int32_t complement = size / 4 - k;
    return {pairs[2 * (complement - 1) + 1], pairs[2 * (complement - 1)]};
}

void BuildTables() noexcept {
    constexpr double pi = std::numbers::pi;
    const double sqrtHalf = std::numbers::sqrt2 / 2;
    tables.radix16 = {std::cos(pi / 8), std::sin(pi / 8), sqrtHalf,
                      std::nextafter(sqrtHalf, 0.0), std::nextafter(std::sin(pi / 8), 1.0), std::cos(pi / 8)};

    for (std::int32_t size = kSmallestTwiddleSize; size <= kLargestTwiddleSize; size *= 2) {
        double* pairs = tables.twiddles.data() + TwiddleOffset(size);
        const double step = 2 * pi / size;
        for (std::int32_t k = 1; k <= TwiddlePairCount(size); ++k) {
            pairs[2 * (k - 1)] = std::cos(k * step);
            pairs[2 * (k - 1) + 1] = std::sin(k * step);
        }
    }

    double* turns = tables.stageTurns.data();
    for (std::int32_t size = kSmallestStageSize; size <= kLargestTwiddleSize; size *= 2) {
        tables.stageTurnsBySizeExponent[static_cast<std::size_t>(std::countr_zero(static_cast<std::uint32_t>(size)))] = turns;
        for (std::int32_t k = 0; k < size / 4; ++k) {
            const auto [c, s] = StageTwiddle(size, k);
            double* const pair = turns + 8 * (k / 2) + 2 * (k % 2);
            pair[0] = pair[1] = c;
            pair[4] = -s;
            pair[5] = s;
        }
        turns += size;
    }

    for (std::int32_t size = 2; size <= kLargestReorderingSize; size *= 2) {
        std::int32_t* table = tables.reordering.data() + ReorderingOffset(size);
        table[0] = 0;
        for (std::int32_t p = 1; p < size; ++p) table[size - SplitRadixOrder(size, p)] = p;
    }
    tableBuilds.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

void EnsureSpectralTables() noexcept { tablesBuilt.Ensure(BuildTables); }

int SpectralTableBuilds() noexcept { return tableBuilds.load(std::memory_order_relaxed); }

std::span<const double, 6> Radix16Constants() noexcept {
    EnsureSpectralTables();
    return tables.radix16;
}

std::span<const double> Twiddles(std::int32_t size) noexcept {
    if (!IsTableSize(size, kSmallestTwiddleSize, kLargestTwiddleSize)) return {};
    EnsureSpectralTables();
    return {tables.twiddles.data() + TwiddleOffset(size), static_cast<std::size_t>(2 * TwiddlePairCount(size))};
}

const StageTurnList& StageTurnsBySizeExponent() noexcept {
    EnsureSpectralTables();
    return tables.stageTurnsBySizeExponent;
}

std::span<const std::int32_t> Reordering(std::int32_t size) noexcept {
    if (!IsTableSize(size, 2, kLargestReorderingSize)) return {};
    EnsureSpectralTables();
    return {tables.reordering.data() + ReorderingOffset(size), static_cast<std::size_t>(size)};
}

// The order unrolled: each level maps the position into the half or quarter that holds it and
// records the affine step (2s, 4s + 1 or 4s - 1) that the level applies to the result, modulo size.
std::int32_t SplitRadixOrder(std::int32_t size, std::int32_t p) noexcept {
    std::uint32_t scale = 1;
    std::uint32_t shift = 0;
    for (std::int32_t n = size; n > 2; ) {
        if (p < n / 2) {
            scale *= 2;
            n /= 2;
            continue;
        }
        const std::int32_t quarter = n / 4;
        p -= n / 2;
        if (p < quarter) {
            shift += scale;
        } else {
            p -= quarter;
            shift -= scale;
        }
        scale *= 4;
        n = quarter;
    }
    return static_cast<std::int32_t>((scale * static_cast<std::uint32_t>(p) + shift) & static_cast<std::uint32_t>(size - 1));
}

}  // namespace vormlek
