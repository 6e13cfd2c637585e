// The split-radix complex FFT of the spectral built-ins: the forward and inverse passes in a portable
// build and, on x86, one for processors with AVX2; the reordering between internal and natural
// order; and the transform of a block of script memory.
#include <bitset>
#include <type_traits>

#include "runtime/ComplexVectors.h"
#include "runtime/TransformTables.h"
#include "runtime/Transforms.h"

namespace vormlek {
namespace {

using namespace vectors;

// Twiddles k and k + 1 for a pair of neighbours, from the table pairs (c_k, s_k, c_k+1, s_k+1).
[[gnu::always_inline]] inline Turn<Cx2> TurnPair(Cx2 pairs) noexcept {
    return {__builtin_shufflevector(pairs, pairs, 0, 0, 2, 2), NegatedReal(__builtin_shufflevector(pairs, pairs, 1, 1, 3, 3))};
}
// The twiddles of size/4 - k - 1 and size/4 - k from those of k + 1 and k: e^(i (pi/2 - t)) = (sin t, cos t).
[[gnu::always_inline]] inline Turn<Cx2> ComplementPair(Cx2 pairs) noexcept {
    return {__builtin_shufflevector(pairs, pairs, 3, 3, 1, 1), NegatedReal(__builtin_shufflevector(pairs, pairs, 2, 2, 0, 0))};
}

// The same two twiddles for a build without four-lane vectors: one two-lane turn each.
struct NarrowTurns {
    Turn<Cx> first, second;
};

// The turns of twiddles k and k + 1, from the table pairs (c_k, s_k, c_k+1, s_k+1), for V lanes.
template <typename V>
[[gnu::always_inline]] inline auto PairTurns(const double* pairs) noexcept {
    if constexpr (std::is_same_v<V, Cx2>) return TurnPair(Load<Cx2>(pairs));
    else return NarrowTurns{TurnOf(pairs[0], pairs[1]), TurnOf(pairs[2], pairs[3])};
}
// The turns of twiddles size/4 - k - 1 and size/4 - k, from the same pairs.
template <typename V>
[[gnu::always_inline]] inline auto PairComplements(const double* pairs) noexcept {
    if constexpr (std::is_same_v<V, Cx2>) return ComplementPair(Load<Cx2>(pairs));
    else return NarrowTurns{TurnOf(pairs[3], pairs[2]), TurnOf(pairs[1], pairs[0])};
}

// The eighth turn, (r, r) with r = sqrt(1/2): one multiplication instead of two.
struct EighthTurn {
    Cx r;
    [[gnu::always_inline]] Cx Up(Cx a) const noexcept { return r * (a + TimesI(a)); }
    [[gnu::always_inline]] Cx Down(Cx a) const noexcept { return r * (a - TimesI(a)); }
};

struct NoTurn {
    [[gnu::always_inline]] Cx Up(Cx a) const noexcept { return a; }
    [[gnu::always_inline]] Cx Down(Cx a) const noexcept { return a; }
};

// ---------------------------------------------------------------------------------------------
// Forward pass, decimation in frequency. For the four quarters x0..x3 of a size-n block and
// w = e^(2 pi i k/n): the even outputs are the half-size transform of x0 + x2, x1 + x3; the outputs
// 4j + 1 and 4j - 1 the quarter-size transforms of (x0 - x2 + i (x1 - x3)) w^k and
// (x0 - x2 - i (x1 - x3)) w^-k. Each sub-transform stays where its inputs were, which gives the
// internal order.
//
// The pass exists twice, compiled for the baseline processor and for one with AVX2 (chosen once at
// run time): both do the same operations in the same order, so they give the same bits.

// One L-shaped butterfly (or two neighbouring ones) on element p of the first quarter.
template <typename V, typename Turning>
[[gnu::always_inline]] inline void ForwardButterfly(double* p, std::int32_t quarter, Turning w) noexcept {
    double* const p1 = p + 2 * quarter;
    double* const p2 = p1 + 2 * quarter;
    double* const p3 = p2 + 2 * quarter;
    const V x0 = Load<V>(p), x1 = Load<V>(p1), x2 = Load<V>(p2), x3 = Load<V>(p3);
    Store(p, x0 + x2);
    Store(p1, x1 + x3);
    const V d0 = x0 - x2, id1 = TimesI(x1 - x3);
    Store(p2, w.Up(d0 + id1));
    Store(p3, w.Down(d0 - id1));
}

// The L-shaped stage of a block of n >= 32 values, two neighbouring butterflies at a time. The
// twiddles come from the size's table up to the eighth turn and by symmetry beyond it; the first
// pair of each half holds the unit and the eighth turn, which the table leaves out.
template <typename V, typename Pair>
[[gnu::always_inline]] inline void Stage(double* a, std::int32_t n, const double* c, Pair pair) noexcept {
    const std::int32_t quarter = n / 4, eighth = n / 8;
    const double* twiddles = Twiddles(n).data();
    const double unitAndFirst[4] = {1.0, 0.0, twiddles[0], twiddles[1]};
    pair(a, quarter, PairTurns<V>(unitAndFirst));
    for (std::int32_t k = 2; k < eighth; k += 2) pair(a + 2 * k, quarter, PairTurns<V>(twiddles + 2 * (k - 1)));
    const double lastAndEighth[4] = {twiddles[2 * (eighth - 2)], twiddles[2 * (eighth - 2) + 1], c[2], c[2]};
    pair(a + 2 * eighth, quarter, PairComplements<V>(lastAndEighth));
    for (std::int32_t m = eighth + 2; m < quarter; m += 2) pair(a + 2 * m, quarter, PairComplements<V>(twiddles + 2 * (quarter - m - 2)));
}

struct ForwardPair {
    [[gnu::always_inline]] void operator()(double* p, std::int32_t quarter, Turn<Cx2> w) const noexcept {
        ForwardButterfly<Cx2>(p, quarter, w);
    }
    [[gnu::always_inline]] void operator()(double* p, std::int32_t quarter, NarrowTurns w) const noexcept {
        ForwardButterfly<Cx>(p, quarter, w.first);
        ForwardButterfly<Cx>(p + 2, quarter, w.second);
    }
};

// The 2- to 16-point forward transforms, unrolled; c holds the radix-16 constants.
template <int N>
[[gnu::always_inline]] inline void ForwardFixed(double* a, const double* c) noexcept {
    if constexpr (N == 2) {
        const Cx x0 = Load<Cx>(a), x1 = Load<Cx>(a + 2);
        Store(a, x0 + x1);
        Store(a + 2, x0 - x1);
    } else if constexpr (N > 2) {
        constexpr std::int32_t quarter = N / 4;
        ForwardButterfly<Cx>(a, quarter, NoTurn{});
        if constexpr (N == 8) ForwardButterfly<Cx>(a + 2, quarter, EighthTurn{Cx{c[2], c[2]}});
        if constexpr (N == 16) {
            ForwardButterfly<Cx>(a + 2, quarter, TurnOf(c[0], c[1]));
            ForwardButterfly<Cx>(a + 4, quarter, TurnOf(c[2], c[3]));
            ForwardButterfly<Cx>(a + 6, quarter, TurnOf(c[4], c[5]));
        }
        ForwardFixed<N / 2>(a, c);
        ForwardFixed<N / 4>(a + N, c);
        ForwardFixed<N / 4>(a + 3 * N / 2, c);
    }
}

using Pass = void (*)(double* a, std::int32_t n, const double* c) noexcept;

template <Pass Self, typename V>
[[gnu::always_inline]] inline void ForwardRecursion(double* a, std::int32_t n, const double* c) noexcept {
    if (n == 16) return ForwardFixed<16>(a, c);
    if (n == 8) return ForwardFixed<8>(a, c);
    Stage<V>(a, n, c, ForwardPair{});
    Self(a, n / 2, c);
    Self(a + n, n / 4, c);
    Self(a + 3 * n / 2, n / 4, c);
}

// ---------------------------------------------------------------------------------------------
// Inverse pass, decimation in time, the forward pass run backwards with conjugate twiddles: the
// sub-transforms first, then per k the half-size result A, and the quarter results B and C turned
// by w^-k and w^k, combine as A[k] +- (B' + C') and A[k + n/4] -+ i (B' - C').

template <typename V, typename Turning>
[[gnu::always_inline]] inline void InverseButterfly(double* p, std::int32_t quarter, Turning w) noexcept {
    double* const p1 = p + 2 * quarter;
    double* const p2 = p1 + 2 * quarter;
    double* const p3 = p2 + 2 * quarter;
    const V b = w.Down(Load<V>(p2)), c = w.Up(Load<V>(p3));
    const V a0 = Load<V>(p), a1 = Load<V>(p1);
    const V sum = b + c, iDifference = TimesI(b - c);
    Store(p, a0 + sum);
    Store(p2, a0 - sum);
    Store(p1, a1 - iDifference);
    Store(p3, a1 + iDifference);
}

struct InversePair {
    [[gnu::always_inline]] void operator()(double* p, std::int32_t quarter, Turn<Cx2> w) const noexcept {
        InverseButterfly<Cx2>(p, quarter, w);
    }
    [[gnu::always_inline]] void operator()(double* p, std::int32_t quarter, NarrowTurns w) const noexcept {
        InverseButterfly<Cx>(p, quarter, w.first);
        InverseButterfly<Cx>(p + 2, quarter, w.second);
    }
};

template <int N>
[[gnu::always_inline]] inline void InverseFixed(double* a, const double* c) noexcept {
    if constexpr (N == 2) {
        const Cx x0 = Load<Cx>(a), x1 = Load<Cx>(a + 2);
        Store(a, x0 + x1);
        Store(a + 2, x0 - x1);
    } else if constexpr (N > 2) {
        constexpr std::int32_t quarter = N / 4;
        InverseFixed<N / 2>(a, c);
        InverseFixed<N / 4>(a + N, c);
        InverseFixed<N / 4>(a + 3 * N / 2, c);
        InverseButterfly<Cx>(a, quarter, NoTurn{});
        if constexpr (N == 8) InverseButterfly<Cx>(a + 2, quarter, EighthTurn{Cx{c[2], c[2]}});
        if constexpr (N == 16) {
            InverseButterfly<Cx>(a + 2, quarter, TurnOf(c[0], c[1]));
            InverseButterfly<Cx>(a + 4, quarter, TurnOf(c[2], c[3]));
            InverseButterfly<Cx>(a + 6, quarter, TurnOf(c[4], c[5]));
        }
    }
}

template <Pass Self, typename V>
[[gnu::always_inline]] inline void InverseRecursion(double* a, std::int32_t n, const double* c) noexcept {
    if (n == 16) return InverseFixed<16>(a, c);
    if (n == 8) return InverseFixed<8>(a, c);
    Self(a, n / 2, c);
    Self(a + n, n / 4, c);
    Self(a + 3 * n / 2, n / 4, c);
    Stage<V>(a, n, c, InversePair{});
}

void ForwardPassPortable(double* a, std::int32_t n, const double* c) noexcept { ForwardRecursion<ForwardPassPortable, Cx>(a, n, c); }
void InversePassPortable(double* a, std::int32_t n, const double* c) noexcept { InverseRecursion<InversePassPortable, Cx>(a, n, c); }

struct KernelPasses {
    Pass forward, inverse;
};

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx2")]] void ForwardPassAvx2(double* a, std::int32_t n, const double* c) noexcept {
    ForwardRecursion<ForwardPassAvx2, Cx2>(a, n, c);
}
[[gnu::target("avx2")]] void InversePassAvx2(double* a, std::int32_t n, const double* c) noexcept {
    InverseRecursion<InversePassAvx2, Cx2>(a, n, c);
}
#endif

KernelPasses PassesOf([[maybe_unused]] FftKernel kernel) noexcept {
#if defined(__x86_64__) || defined(__i386__)
    if (kernel == FftKernel::kAvx2 && FftKernelSupported(kernel)) return {ForwardPassAvx2, InversePassAvx2};
#endif
    return {ForwardPassPortable, InversePassPortable};
}

// Modes 4 and 5: the permutation by T_N, in place, following each cycle of T once.
void Reorder(double* block, std::int32_t size, bool toNatural) noexcept {
    const std::int32_t* table = Reordering(size).data();
    std::bitset<kFftMaxSize> placed;
    for (std::int32_t start = 0; start < size; ++start) {
        if (placed[static_cast<std::size_t>(start)]) continue;
        Cx carried = Load<Cx>(block + 2 * start);
        std::int32_t i = start;
        if (toNatural) {
            // block[i] = old[T[i]]: each value moves one step back along the cycle.
            for (; table[i] != start; i = table[i]) {
                placed[static_cast<std::size_t>(i)] = true;
                Store(block + 2 * i, Load<Cx>(block + 2 * table[i]));
            }
            placed[static_cast<std::size_t>(i)] = true;
            Store(block + 2 * i, carried);
        } else {
            // block[T[i]] = old[i]: the carried value goes forward and picks up the one it displaces.
            do {
                i = table[i];
                placed[static_cast<std::size_t>(i)] = true;
                const Cx displaced = Load<Cx>(block + 2 * i);
                Store(block + 2 * i, carried);
                carried = displaced;
            } while (i != start);
        }
    }
}

}  // namespace

void FftBlock(double* block, std::int32_t size, std::int32_t mode, FftKernel kernel) noexcept {
    const double* constants = Radix16Constants().data();
    switch (mode) {
    case kFftForward: return PassesOf(kernel).forward(block, size, constants);
    case kFftInverse: return PassesOf(kernel).inverse(block, size, constants);
    case kFftToNatural: return Reorder(block, size, true);
    case kFftFromNatural: return Reorder(block, size, false);
    default: return;
    }
}

void FftBlock(double* block, std::int32_t size, std::int32_t mode) noexcept { FftBlock(block, size, mode, FastestKernel()); }

void Fft(CVormlekMemory& memory, std::int32_t index, std::int32_t size, std::int32_t mode) {
    const std::int32_t points = TransformPoints(size, kFftMinSize, kFftMaxSize);
    if (points == 0) return;
    if (mode != kFftForward && mode != kFftInverse && mode != kFftToNatural && mode != kFftFromNatural) return;
    if (double* block = memory.MemoryRun(index, 2 * points)) FftBlock(block, points, mode);
}

}  // namespace vormlek
