#include "runtime/Transforms.h"

#include <algorithm>
#include <array>
#include <bit>
#include <bitset>
#include <cmath>
#include <cstring>
#include <mutex>
#include <numbers>
#include <type_traits>
#include <vector>

#include "runtime/TransformTables.h"

namespace vormlek {
namespace {

// One complex value (re, im) in a two-lane vector, so that sums and differences, and the two halves
// of every product, take one instruction each; the stages of larger blocks work on two neighbouring
// complex values at once, in a four-lane vector.
using Cx = double __attribute__((vector_size(16)));
// Four-lane vectors pass between inlined helpers of this file only, so the note that their calling
// convention differs with and without AVX concerns no interface.
#pragma GCC diagnostic ignored "-Wpsabi"
using Cx2 = double __attribute__((vector_size(32)));
using Bits = std::uint64_t __attribute__((vector_size(16)));
using Bits2 = std::uint64_t __attribute__((vector_size(32)));
constexpr std::uint64_t kSign = 0x8000000000000000u;

template <typename V>
[[gnu::always_inline]] inline V Load(const double* p) noexcept {
    V value;
    std::memcpy(&value, p, sizeof value);
    return value;
}
template <typename V>
[[gnu::always_inline]] inline void Store(double* p, V value) noexcept { std::memcpy(p, &value, sizeof value); }

[[gnu::always_inline]] inline Cx Swapped(Cx a) noexcept { return __builtin_shufflevector(a, a, 1, 0); }
[[gnu::always_inline]] inline Cx2 Swapped(Cx2 a) noexcept { return __builtin_shufflevector(a, a, 1, 0, 3, 2); }
// The real parts negated by their sign bit (a vector cast between same-sized vectors keeps the bits).
[[gnu::always_inline]] inline Cx NegatedReal(Cx a) noexcept { return (Cx)((Bits)a ^ Bits{kSign, 0}); }
[[gnu::always_inline]] inline Cx2 NegatedReal(Cx2 a) noexcept { return (Cx2)((Bits2)a ^ Bits2{kSign, 0, kSign, 0}); }
// i a = (-im, re).
template <typename V>
[[gnu::always_inline]] inline V TimesI(V a) noexcept { return NegatedReal(Swapped(a)); }

// Turning by twiddles e^(it) = (c, s): a e^(+-it) = c a +- (-s, s) (a swapped), with the cosine
// broadcast and the signed sine kept ready, so a turn costs two multiplications and one addition.
template <typename V>
struct Turn {
    V c, signedSine;
    [[gnu::always_inline]] V Up(V a) const noexcept { return c * a + signedSine * Swapped(a); }
    [[gnu::always_inline]] V Down(V a) const noexcept { return c * a - signedSine * Swapped(a); }
};

[[gnu::always_inline]] inline Turn<Cx> TurnOf(double c, double s) noexcept { return {Cx{c, c}, Cx{-s, s}}; }

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

// The general complex product, for the MDCT rotations and the block products.
inline Cx Times(Cx a, Cx b) noexcept { return TurnOf(b[0], b[1]).Up(a); }

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

FftKernel FastestKernel() noexcept {
    static const FftKernel fastest = FftKernelSupported(FftKernel::kAvx2) ? FftKernel::kAvx2 : FftKernel::kPortable;
    return fastest;
}

void ForwardPass(double* a, std::int32_t n, const double* c) noexcept { PassesOf(FastestKernel()).forward(a, n, c); }

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

// ---------------------------------------------------------------------------------------------
// MDCT. With M = size/2 coefficients, the transform is a DCT-IV of M folded inputs: for the
// quarters (a, b, c, d) of the windowed block, v = (-c reversed - d, a - b reversed). Its inverse
// is the same DCT-IV, unfolded: y = (V[M/2..M), -V reversed, -V[0..M/2)) shifted into place.
// The fast form computes the DCT-IV with an M/2-point complex FFT between two rotations.

struct MdctPlan {
    std::vector<double> window;     // sin(pi (i + 0.5) / size), i < size
    std::vector<double> cosines;    // direct form: cos(...) for k < M (rows), n < size
    std::vector<double> preTurn;    // fast form: e^(-i pi (n + 1/4) / M), n < M/2
    std::vector<double> postTurn;   // fast form: e^(-i pi k / M), k < M/2
};

constexpr std::int32_t kLargestDirectMdctSize = 32;
constexpr int kMdctSizeCount = std::countr_zero(static_cast<unsigned>(kMdctMaxSize)) -
                               std::countr_zero(static_cast<unsigned>(kMdctMinSize)) + 1;

void BuildMdctPlan(MdctPlan& plan, std::int32_t size) {
    constexpr double pi = std::numbers::pi;
    const std::int32_t half = size / 2;
    plan.window.resize(static_cast<std::size_t>(size));
    for (std::int32_t i = 0; i < size; ++i) plan.window[static_cast<std::size_t>(i)] = std::sin(pi * (i + 0.5) / size);
    if (size <= kLargestDirectMdctSize) {
        plan.cosines.resize(static_cast<std::size_t>(half * size));
        for (std::int32_t k = 0; k < half; ++k)
            for (std::int32_t n = 0; n < size; ++n)
                plan.cosines[static_cast<std::size_t>(k * size + n)] =
                    std::cos(pi / (2.0 * size) * (2 * n + 1 + half) * (2 * k + 1));
        return;
    }
    plan.preTurn.resize(static_cast<std::size_t>(half));
    plan.postTurn.resize(static_cast<std::size_t>(half));
    for (std::int32_t n = 0; n < half / 2; ++n) {
        const double angle = -pi * (n + 0.25) / half;
        plan.preTurn[static_cast<std::size_t>(2 * n)] = std::cos(angle);
        plan.preTurn[static_cast<std::size_t>(2 * n + 1)] = std::sin(angle);
        plan.postTurn[static_cast<std::size_t>(2 * n)] = std::cos(-pi * n / half);
        plan.postTurn[static_cast<std::size_t>(2 * n + 1)] = std::sin(-pi * n / half);
    }
}

// Plans are made on first use of a size and kept for the process; racing first uses build once.
const MdctPlan& PlanFor(std::int32_t size) noexcept {
    static std::array<MdctPlan, kMdctSizeCount> plans;
    static std::array<std::once_flag, kMdctSizeCount> once;
    const std::size_t slot = static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(size)) -
                                                      std::countr_zero(static_cast<unsigned>(kMdctMinSize)));
    std::call_once(once[slot], [&] { BuildMdctPlan(plans[slot], size); });
    return plans[slot];
}

// The work buffer: m/2 complex values, m = size/2 coefficients, for the largest size.
using MdctWork = std::array<double, kMdctMaxSize / 2>;

// DCT-IV of the m values input(j), written through store(j, V[j]). The inputs are paired and
// turned, t[n] = (v[2n] + i v[m-1-2n]) e^(-i pi (n + 1/4)/m); after the m/2-point transform with
// kernel e^(-2 pi i nk/(m/2)), d[k] = T[k] e^(-i pi k/m) gives V[2k] = Re d and V[m-1-2k] = -Im d.
// Every input is read before the first store, so both may refer to the same block.
template <typename Input, typename StoreOutput>
void FastDctIv(const MdctPlan& plan, std::int32_t m, Input input, StoreOutput store) noexcept {
    const std::int32_t points = m / 2;
    MdctWork work;
    for (std::int32_t n = 0; n < points; ++n)
        Store(work.data() + 2 * n, Times(Cx{input(2 * n), input(m - 1 - 2 * n)}, Load<Cx>(plan.preTurn.data() + 2 * n)));
    // The forward pass has kernel e^(+2 pi i nk/N): the e^(-...) spectrum at k is where T_N points.
    ForwardPass(work.data(), points, Radix16Constants().data());
    const std::int32_t* natural = Reordering(points).data();
    for (std::int32_t k = 0; k < points; ++k) {
        const Cx d = Times(Load<Cx>(work.data() + 2 * natural[k]), Load<Cx>(plan.postTurn.data() + 2 * k));
        store(2 * k, d[0]);
        store(m - 1 - 2 * k, -d[1]);
    }
}

// v[j] of the quarters (a, b, c, d) of the windowed block: -c reversed - d, then a - b reversed.
inline double Folded(const double* block, const double* window, std::int32_t size, std::int32_t j) noexcept {
    const std::int32_t h = size / 4;
    const std::int32_t mirrored = 3 * h - 1 - j;
    if (j < h) return -block[mirrored] * window[mirrored] - block[3 * h + j] * window[3 * h + j];
    return block[j - h] * window[j - h] - block[mirrored] * window[mirrored];
}

// The windowed outputs of one DCT-IV value V[j]: each value lands in two places of the block.
inline void Unfold(double* block, const double* window, std::int32_t size, std::int32_t j, double value) noexcept {
    const std::int32_t h = size / 4;
    const std::int32_t mirrored = 3 * h - 1 - j;
    block[mirrored] = -value * window[mirrored];
    const std::int32_t direct = j < h ? j + 3 * h : j - h;
    block[direct] = (j < h ? -value : value) * window[direct];
}

void DirectMdct(const MdctPlan& plan, double* block, std::int32_t size) noexcept {
    std::array<double, kLargestDirectMdctSize> work;
    for (std::int32_t n = 0; n < size; ++n) work[static_cast<std::size_t>(n)] = block[n] * plan.window[static_cast<std::size_t>(n)];
    for (std::int32_t k = 0; k < size / 2; ++k) {
        const double* row = plan.cosines.data() + k * size;
        double sum = 0.0;
        for (std::int32_t n = 0; n < size; ++n) sum += work[static_cast<std::size_t>(n)] * row[n];
        block[k] = sum;
    }
}

void DirectInverseMdct(const MdctPlan& plan, double* block, std::int32_t size) noexcept {
    std::array<double, kLargestDirectMdctSize / 2> work;
    const std::int32_t half = size / 2;
    std::copy(block, block + half, work.begin());
    const double scale = 4.0 / size;
    for (std::int32_t n = 0; n < size; ++n) {
        double sum = 0.0;
        for (std::int32_t k = 0; k < half; ++k) sum += work[static_cast<std::size_t>(k)] * plan.cosines[static_cast<std::size_t>(k * size + n)];
        block[n] = sum * scale * plan.window[static_cast<std::size_t>(n)];
    }
}

// ---------------------------------------------------------------------------------------------

std::int32_t FloorPowerOfTwo(std::int32_t size) noexcept {
    return size < 1 ? 0 : static_cast<std::int32_t>(std::bit_floor(static_cast<std::uint32_t>(size)));
}

bool FitsRange(std::int32_t size, std::int32_t smallest, std::int32_t largest) noexcept {
    return size >= smallest && size <= largest;
}

template <typename Product>
void ComplexProduct(CVormlekMemory& memory, std::int32_t destination, std::int32_t left, std::int32_t right,
                    std::int32_t count, Product product) {
    const std::int32_t values = count - count % 2;
    if (values <= 0) return;
    double* const out = memory.MemoryRun(destination, 2 * values);
    const double* const a = memory.MemoryRun(left, 2 * values);
    const double* const b = memory.MemoryRun(right, 2 * values);
    if (out == nullptr || a == nullptr || b == nullptr) return;
    for (std::int32_t i = 0; i < 2 * values; i += 2) {
        const Cx x = Load<Cx>(a + i), y = Load<Cx>(b + i);
        Store(out + i, product(Load<Cx>(out + i), Times(x, y)));
    }
}

}  // namespace

bool FftKernelSupported(FftKernel kernel) noexcept {
    if (kernel != FftKernel::kAvx2) return true;
    // Not on Windows: there GCC cannot be trusted to align 32-byte vectors it spills to the stack
    // (the ABI guarantees 16 bytes at most), and a misaligned spill would crash the host.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

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

void MdctBlock(double* block, std::int32_t size) noexcept {
    const MdctPlan& plan = PlanFor(size);
    if (size <= kLargestDirectMdctSize) return DirectMdct(plan, block, size);
    const double* window = plan.window.data();
    const double scale = 4.0 / size;
    FastDctIv(
        plan, size / 2, [=](std::int32_t j) { return Folded(block, window, size, j); },
        [=](std::int32_t k, double value) { block[k] = value * scale; });
}

void InverseMdctBlock(double* block, std::int32_t size) noexcept {
    const MdctPlan& plan = PlanFor(size);
    if (size <= kLargestDirectMdctSize) return DirectInverseMdct(plan, block, size);
    const double* window = plan.window.data();
    FastDctIv(
        plan, size / 2, [=](std::int32_t k) { return block[k]; },
        [=](std::int32_t j, double value) { Unfold(block, window, size, j, value); });
}

void Fft(CVormlekMemory& memory, std::int32_t index, std::int32_t size, std::int32_t mode) {
    const std::int32_t points = FloorPowerOfTwo(size);
    if (!FitsRange(points, kFftMinSize, kFftMaxSize)) return;
    if (mode != kFftForward && mode != kFftInverse && mode != kFftToNatural && mode != kFftFromNatural) return;
    if (double* block = memory.MemoryRun(index, 2 * points)) FftBlock(block, points, mode);
}

void Mdct(CVormlekMemory& memory, std::int32_t index, std::int32_t size) {
    const std::int32_t points = FloorPowerOfTwo(size);
    if (!FitsRange(points, kMdctMinSize, kMdctMaxSize)) return;
    if (double* block = memory.MemoryRun(index, points)) MdctBlock(block, points);
}

void InverseMdct(CVormlekMemory& memory, std::int32_t index, std::int32_t size) {
    const std::int32_t points = FloorPowerOfTwo(size);
    if (!FitsRange(points, kMdctMinSize, kMdctMaxSize)) return;
    if (double* block = memory.MemoryRun(index, points)) InverseMdctBlock(block, points);
}

void ComplexMultiply(CVormlekMemory& memory, std::int32_t destination, std::int32_t source, std::int32_t count) {
    ComplexProduct(memory, destination, destination, source, count, [](Cx, Cx product) { return product; });
}

void ComplexMultiplyInto(CVormlekMemory& memory, std::int32_t destination, std::int32_t left, std::int32_t right,
                         std::int32_t count) {
    ComplexProduct(memory, destination, left, right, count, [](Cx, Cx product) { return product; });
}

void ComplexMultiplyAdd(CVormlekMemory& memory, std::int32_t destination, std::int32_t left, std::int32_t right,
                        std::int32_t count) {
    ComplexProduct(memory, destination, left, right, count, [](Cx old, Cx product) { return old + product; });
}

}  // namespace vormlek
