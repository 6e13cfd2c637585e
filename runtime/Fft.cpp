// The split-radix complex FFT of the spectral built-ins: the forward and inverse passes in a portable
// build and, on x86, one for processors with AVX2; the reordering between internal and natural
// order; and the transform of a block of script memory.
#include <bit>
#include <bitset>
#include <type_traits>

#include "runtime/ComplexVectors.h"
#include "runtime/TransformTables.h"
#include "runtime/Transforms.h"

namespace vormlek {
namespace {

using namespace vectors;

// The same value in both halves of a vector of two complex values, or the one value of a narrow one,
// from a table of turns.
template <typename V>
[[gnu::always_inline]] inline V Broadcast(const double* value) noexcept {
    if constexpr (std::is_same_v<V, Cx2>) return Joined(LoadAligned<Cx>(value), LoadAligned<Cx>(value));
    else return LoadAligned<Cx>(value);
}

// Turn k of a stage from its table of turns (see StageTurnList), for both halves of a vector alike.
template <typename V>
[[gnu::always_inline]] inline Turn<V> TurnAt(const double* turns, std::int32_t k) noexcept {
    const double* const cosines = turns + 8 * (k / 2) + 2 * (k % 2);
    return {Broadcast<V>(cosines), Broadcast<V>(cosines + 4)};
}

// The eighth turn, (r, r) with r = sqrt(1/2): one multiplication instead of two.
template <typename V>
struct EighthTurn {
    V r;
    [[gnu::always_inline]] V Up(V a) const noexcept { return r * (a + TimesI(a)); }
    [[gnu::always_inline]] V Down(V a) const noexcept { return r * (a - TimesI(a)); }
};
template <typename V>
[[gnu::always_inline]] inline EighthTurn<V> EighthTurnOf(double r) noexcept {
    if constexpr (std::is_same_v<V, Cx2>) return {Cx2{r, r, r, r}};
    else return {Cx{r, r}};
}

struct NoTurn {
    template <typename V>
    [[gnu::always_inline]] V Up(V a) const noexcept { return a; }
    template <typename V>
    [[gnu::always_inline]] V Down(V a) const noexcept { return a; }
};

// The complex values a pass works on. Values<V> is one block, read one value per two-lane vector or
// two neighbours per four-lane vector. ValuesOfTwoBlocks holds value i of two blocks of the same
// size in one four-lane vector, so that one run of a small transform's arithmetic transforms both.
template <typename V>
struct Values {
    using Vector = V;
    double* block;
    [[gnu::always_inline]] V Load(std::int32_t i) const noexcept { return vectors::Load<V>(block + 2 * i); }
    [[gnu::always_inline]] void Store(std::int32_t i, V value) const noexcept { vectors::Store(block + 2 * i, value); }
    [[gnu::always_inline]] Values From(std::int32_t i) const noexcept { return {block + 2 * i}; }
};

struct ValuesOfTwoBlocks {
    using Vector = Cx2;
    double* first;
    double* second;
    [[gnu::always_inline]] Cx2 Load(std::int32_t i) const noexcept {
        return Joined(vectors::Load<Cx>(first + 2 * i), vectors::Load<Cx>(second + 2 * i));
    }
    [[gnu::always_inline]] void Store(std::int32_t i, Cx2 value) const noexcept {
        vectors::Store(first + 2 * i, LowHalf(value));
        vectors::Store(second + 2 * i, HighHalf(value));
    }
    [[gnu::always_inline]] ValuesOfTwoBlocks From(std::int32_t i) const noexcept { return {first + 2 * i, second + 2 * i}; }
};

// Values held in registers while a small transform runs through all its levels.
template <typename V>
struct Held {
    using Vector = V;
    V* values;
    [[gnu::always_inline]] V Load(std::int32_t i) const noexcept { return values[i]; }
    [[gnu::always_inline]] void Store(std::int32_t i, V value) const noexcept { values[i] = value; }
    [[gnu::always_inline]] Held From(std::int32_t i) const noexcept { return {values + i}; }
};

// What the passes read: the radix-16 constants and the turns of each stage size.
struct PassTables {
    const double* radix16;
    const StageTurnList* turns;
    [[gnu::always_inline]] const double* TurnsOf(std::int32_t size) const noexcept {
        return (*turns)[static_cast<std::size_t>(std::countr_zero(static_cast<std::uint32_t>(size)))];
    }
};

// ---------------------------------------------------------------------------------------------
// Forward pass, decimation in frequency. For the four quarters x0..x3 of a size-n block and
// w = e^(2 pi i k/n): the even outputs are the half-size transform of x0 + x2, x1 + x3; the outputs
// 4j + 1 and 4j - 1 the quarter-size transforms of (x0 - x2 + i (x1 - x3)) w^k and
// (x0 - x2 - i (x1 - x3)) w^-k. Each sub-transform stays where its inputs were, which gives the
// internal order.
//
// Inverse pass, decimation in time, the forward pass run backwards with conjugate twiddles: the
// sub-transforms first, then per k the half-size result A, and the quarter results B and C turned
// by w^-k and w^k, combine as A[k] +- (B' + C') and A[k + n/4] -+ i (B' - C').
//
// The passes exist twice, compiled for the baseline processor and for one with AVX2 (chosen once at
// run time): both do the same operations on every value in the same order, so they give the same
// bits. The AVX2 build turns two butterflies per instruction: neighbouring ones in the stages of
// large blocks, and in the small transforms at the end of the recursion the same butterfly of the
// two quarter blocks side by side.

// The four values of one L-shaped butterfly: value i of each quarter of a block.
template <typename V>
struct Quartet {
    V x0, x1, x2, x3;
};

template <typename Of>
[[gnu::always_inline]] inline Quartet<typename Of::Vector> LoadQuartet(Of values, std::int32_t i, std::int32_t quarter) noexcept {
    return {values.Load(i), values.Load(i + quarter), values.Load(i + 2 * quarter), values.Load(i + 3 * quarter)};
}

template <typename Of>
[[gnu::always_inline]] inline void StoreQuartet(Of values, std::int32_t i, std::int32_t quarter,
                                                Quartet<typename Of::Vector> x) noexcept {
    values.Store(i, x.x0);
    values.Store(i + quarter, x.x1);
    values.Store(i + 2 * quarter, x.x2);
    values.Store(i + 3 * quarter, x.x3);
}

// One L-shaped butterfly (or two, side by side in a vector).
template <typename V, typename Turning>
[[gnu::always_inline]] inline Quartet<V> ForwardButterfly(Quartet<V> x, Turning w) noexcept {
    const V d0 = x.x0 - x.x2, id1 = TimesI(x.x1 - x.x3);
    return {x.x0 + x.x2, x.x1 + x.x3, w.Up(d0 + id1), w.Down(d0 - id1)};
}

template <typename V, typename Turning>
[[gnu::always_inline]] inline Quartet<V> InverseButterfly(Quartet<V> x, Turning w) noexcept {
    const V b = w.Down(x.x2), c = w.Up(x.x3);
    const V sum = b + c, iDifference = TimesI(b - c);
    return {x.x0 + sum, x.x1 - iDifference, x.x0 - sum, x.x1 + iDifference};
}

// What tells the directions apart: the butterfly, and whether a block's own level comes before its
// sub-transforms (forward) or after them (inverse).
struct Forward {
    static constexpr bool kLevelFirst = true;
    template <typename V, typename Turning>
    [[gnu::always_inline]] static Quartet<V> Butterfly(Quartet<V> x, Turning w) noexcept { return ForwardButterfly(x, w); }
};
struct Inverse {
    static constexpr bool kLevelFirst = false;
    template <typename V, typename Turning>
    [[gnu::always_inline]] static Quartet<V> Butterfly(Quartet<V> x, Turning w) noexcept { return InverseButterfly(x, w); }
};

template <typename Direction, typename Of, typename Turning>
[[gnu::always_inline]] inline void ButterflyAt(Of values, std::int32_t i, std::int32_t quarter, Turning w) noexcept {
    StoreQuartet(values, i, quarter, Direction::Butterfly(LoadQuartet(values, i, quarter), w));
}

// The turns of a stage of size n >= 32, read two k at a time (see StageTurnList): turn k + j for
// one value (j = 0 or 1), or in a four-lane vector turns k and k + 1 (j = 0).
template <typename V>
[[gnu::always_inline]] inline Turn<V> StageTurn(const double* turns, std::int32_t k, std::int32_t j) noexcept {
    const double* const cosines = turns + 4 * k + 2 * j;
    return {LoadAligned<V>(cosines), LoadAligned<V>(cosines + 4)};
}

// How many neighbouring butterflies one vector holds.
template <typename V>
inline constexpr std::int32_t kButterfliesPerVector = std::is_same_v<V, Cx2> ? 2 : 1;

// The L-shaped stage of a block of n >= 32 values, two neighbouring butterflies at a time.
template <typename V, typename Direction>
[[gnu::always_inline]] inline void Stage(double* a, std::int32_t n, const PassTables& tables) noexcept {
    const std::int32_t quarter = n / 4;
    const double* const turns = tables.TurnsOf(n);
    const Values<V> values{a};
#pragma GCC unroll 4
    for (std::int32_t k = 0; k < quarter; k += 2) {
#pragma GCC unroll 2
        for (std::int32_t j = 0; j < 2; j += kButterfliesPerVector<V>)
            ButterflyAt<Direction>(values, k + j, quarter, StageTurn<V>(turns, k, j));
    }
}

// The stages of a block of n >= 64 values and of its first half, in one pass: the block's
// butterflies k and k + n/8 give (forward) or take (inverse) the four values of the half's
// butterfly k, which stay in registers in between. Every value undergoes the same operations as in
// two passes; the half's values go through memory once instead of twice.
template <typename V, typename Direction>
[[gnu::always_inline]] inline void TwoStages(double* a, std::int32_t n, const PassTables& tables) noexcept {
    const std::int32_t quarter = n / 4, eighth = n / 8;
    const double* const turns = tables.TurnsOf(n);
    const double* const halfTurns = tables.TurnsOf(n / 2);
    const Values<V> values{a};
    for (std::int32_t k = 0; k < eighth; k += 2) {
#pragma GCC unroll 2
        for (std::int32_t j = 0; j < 2; j += kButterfliesPerVector<V>) {
            const std::int32_t i = k + j;
            if constexpr (Direction::kLevelFirst) {
                const Quartet<V> first = Direction::Butterfly(LoadQuartet(values, i, quarter), StageTurn<V>(turns, k, j));
                values.Store(i + 2 * quarter, first.x2);
                values.Store(i + 3 * quarter, first.x3);
                const Quartet<V> second =
                    Direction::Butterfly(LoadQuartet(values, i + eighth, quarter), StageTurn<V>(turns, k + eighth, j));
                values.Store(i + eighth + 2 * quarter, second.x2);
                values.Store(i + eighth + 3 * quarter, second.x3);
                StoreQuartet(values, i, eighth,
                             Direction::Butterfly(Quartet<V>{first.x0, second.x0, first.x1, second.x1}, StageTurn<V>(halfTurns, k, j)));
            } else {
                const Quartet<V> y = Direction::Butterfly(LoadQuartet(values, i, eighth), StageTurn<V>(halfTurns, k, j));
                StoreQuartet(values, i, quarter,
                             Direction::Butterfly(Quartet<V>{y.x0, y.x2, values.Load(i + 2 * quarter), values.Load(i + 3 * quarter)},
                                                  StageTurn<V>(turns, k, j)));
                StoreQuartet(values, i + eighth, quarter,
                             Direction::Butterfly(Quartet<V>{y.x1, y.x3, values.Load(i + eighth + 2 * quarter),
                                                             values.Load(i + eighth + 3 * quarter)},
                                                  StageTurn<V>(turns, k + eighth, j)));
            }
        }
    }
}

// The level of a 2- to 16-point transform, unrolled.
template <int N, typename Direction, typename Of>
[[gnu::always_inline]] inline void Level(Of values, const PassTables& tables) noexcept {
    using V = typename Of::Vector;
    if constexpr (N == 2) {
        const V x0 = values.Load(0), x1 = values.Load(1);
        values.Store(0, x0 + x1);
        values.Store(1, x0 - x1);
    } else {
        constexpr std::int32_t quarter = N / 4;
        ButterflyAt<Direction>(values, 0, quarter, NoTurn{});
        if constexpr (N == 8) ButterflyAt<Direction>(values, 1, quarter, EighthTurnOf<V>(tables.radix16[2]));
        if constexpr (N == 16) {
            const double* const turns = tables.TurnsOf(16);
#pragma GCC unroll 4
            for (std::int32_t k = 1; k < quarter; ++k) ButterflyAt<Direction>(values, k, quarter, TurnAt<V>(turns, k));
        }
    }
}

// 32-bit x86 has 8 vector registers: there a 16-point transform would spill, so only its
// sub-transforms are held.
constexpr int kLargestHeldTransform = sizeof(void*) == 8 ? 16 : 8;

// A 2- to 16-point transform, unrolled, on values held in registers: loaded once, taken through all
// its levels, stored once. One too large to hold runs its own level in memory.
template <int N, typename Direction, typename Of>
[[gnu::always_inline]] inline void Fixed(Of values, const PassTables& tables) noexcept {
    if constexpr (N > kLargestHeldTransform || std::is_same_v<Of, Held<typename Of::Vector>>) {
        if constexpr (N >= 2) {
            if constexpr (Direction::kLevelFirst) Level<N, Direction>(values, tables);
            Fixed<N / 2, Direction>(values, tables);
            Fixed<N / 4, Direction>(values.From(N / 2), tables);
            Fixed<N / 4, Direction>(values.From(3 * N / 4), tables);
            if constexpr (!Direction::kLevelFirst) Level<N, Direction>(values, tables);
        }
    } else {
        using V = typename Of::Vector;
        V held[N];
        // Unrolled at every optimisation level, so that the values stay in registers (the Windows
        // builds use -O2).
#pragma GCC unroll 16
        for (std::int32_t i = 0; i < N; ++i) held[i] = values.Load(i);
        Fixed<N, Direction>(Held<V>{held}, tables);
#pragma GCC unroll 16
        for (std::int32_t i = 0; i < N; ++i) values.Store(i, held[i]);
    }
}

// Two small transforms of the same size: side by side where the vectors are wide enough.
template <int N, typename V, typename Direction>
[[gnu::always_inline]] inline void FixedPair(double* first, double* second, const PassTables& tables) noexcept {
    if constexpr (std::is_same_v<V, Cx2>) {
        Fixed<N, Direction>(ValuesOfTwoBlocks{first, second}, tables);
    } else {
        Fixed<N, Direction>(Values<Cx>{first}, tables);
        Fixed<N, Direction>(Values<Cx>{second}, tables);
    }
}

using Pass = void (*)(double* a, std::int32_t n, const PassTables& tables) noexcept;

// The fused stages (TwoStages) hold three butterflies' values and turns: more than the 8 vector
// registers of 32-bit x86, where they spill and run slower than two passes.
constexpr bool kFuseStages = sizeof(void*) == 8;

// The same block, as a pointer the compiler cannot see through: what one level stored, the next
// loads again. Otherwise the compiler carries the stored values over in registers, more of them
// than there are, and spills them to the stack besides storing them.
[[gnu::always_inline]] inline double* Reloaded(double* a) noexcept {
    __asm__("" : "+r"(a));
    return a;
}

// The recursion: a block's stage before (forward) or after (inverse) its half- and quarter-size
// sub-transforms, from 64 values up fused with the half's stage, so that the half's sub-transforms
// follow. Blocks of 16 to 64 values are unrolled down to the small transforms, their sizes known at
// compile time; unrolling larger ones would more than double the code for a few per cent fewer
// instructions.
template <int N, typename V, typename Direction>
[[gnu::always_inline]] inline void Unrolled(double* a, const PassTables& tables) noexcept {
    if constexpr (N == 16) {
        Fixed<16, Direction>(Values<Cx>{a}, tables);
    } else if constexpr (N == 32 || !kFuseStages) {
        if constexpr (Direction::kLevelFirst) Stage<V, Direction>(a, N, tables);
        Unrolled<N / 2, V, Direction>(Reloaded(a), tables);
        FixedPair<N / 4, V, Direction>(Reloaded(a) + N, Reloaded(a) + 3 * N / 2, tables);
        if constexpr (!Direction::kLevelFirst) Stage<V, Direction>(Reloaded(a), N, tables);
    } else {
        if constexpr (Direction::kLevelFirst) TwoStages<V, Direction>(a, N, tables);
        double* const sub = Reloaded(a);
        Unrolled<N / 4, V, Direction>(sub, tables);
        FixedPair<N / 8, V, Direction>(sub + N / 2, sub + 3 * N / 4, tables);
        FixedPair<N / 4, V, Direction>(sub + N, sub + 3 * N / 2, tables);
        if constexpr (!Direction::kLevelFirst) TwoStages<V, Direction>(Reloaded(a), N, tables);
    }
}

// A block of n >= 128 values. Where n is known at compile time (Size a SizeOf), its stage is fused
// with its half's: every offset is then a constant, while at a size known only at run time the
// fused pass needs more address registers than there are and is slower than two passes.
template <Pass Self, typename V, typename Direction, typename Size>
[[gnu::always_inline]] inline void Split(double* a, Size n, const PassTables& tables) noexcept {
    constexpr bool kFused = kFuseStages && !std::is_same_v<Size, std::int32_t>;
    if constexpr (kFused) {
        if constexpr (Direction::kLevelFirst) TwoStages<V, Direction>(a, n, tables);
        Self(a, n / 4, tables);
        Self(a + n / 2, n / 8, tables);
        Self(a + 3 * n / 4, n / 8, tables);
        Self(a + n, n / 4, tables);
        Self(a + 3 * n / 2, n / 4, tables);
        if constexpr (!Direction::kLevelFirst) TwoStages<V, Direction>(a, n, tables);
    } else {
        if constexpr (Direction::kLevelFirst) Stage<V, Direction>(a, n, tables);
        Self(a, n / 2, tables);
        Self(a + n, n / 4, tables);
        Self(a + 3 * n / 2, n / 4, tables);
        if constexpr (!Direction::kLevelFirst) Stage<V, Direction>(a, n, tables);
    }
}

template <std::int32_t N>
using SizeOf = std::integral_constant<std::int32_t, N>;

template <Pass Self, typename V, typename Direction>
[[gnu::always_inline]] inline void Recursion(double* a, std::int32_t n, const PassTables& tables) noexcept {
    switch (n) {
    case 16: return Unrolled<16, V, Direction>(a, tables);
    case 32: return Unrolled<32, V, Direction>(a, tables);
    case 64: return Unrolled<64, V, Direction>(a, tables);
    default: break;
    }
    if constexpr (kFuseStages) {
        // Larger sizes compiled for each would add code for a few per cent at the sizes least behind.
        switch (n) {
        case 128: return Split<Self, V, Direction>(a, SizeOf<128>{}, tables);
        case 256: return Split<Self, V, Direction>(a, SizeOf<256>{}, tables);
        case 512: return Split<Self, V, Direction>(a, SizeOf<512>{}, tables);
        case 1024: return Split<Self, V, Direction>(a, SizeOf<1024>{}, tables);
        default: break;
        }
    }
    Split<Self, V, Direction>(a, n, tables);
}

void ForwardPassPortable(double* a, std::int32_t n, const PassTables& tables) noexcept {
    Recursion<ForwardPassPortable, Cx, Forward>(a, n, tables);
}
void InversePassPortable(double* a, std::int32_t n, const PassTables& tables) noexcept {
    Recursion<InversePassPortable, Cx, Inverse>(a, n, tables);
}

struct KernelPasses {
    Pass forward, inverse;
};

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx2")]] void ForwardPassAvx2(double* a, std::int32_t n, const PassTables& tables) noexcept {
    Recursion<ForwardPassAvx2, Cx2, Forward>(a, n, tables);
}
[[gnu::target("avx2")]] void InversePassAvx2(double* a, std::int32_t n, const PassTables& tables) noexcept {
    Recursion<InversePassAvx2, Cx2, Inverse>(a, n, tables);
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
    const PassTables tables{Radix16Constants().data(), &StageTurnsBySizeExponent()};
    switch (mode) {
    case kFftForward: return PassesOf(kernel).forward(block, size, tables);
    case kFftInverse: return PassesOf(kernel).inverse(block, size, tables);
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
