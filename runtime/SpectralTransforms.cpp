#include "runtime/SpectralTransforms.h"

#include <algorithm>
#include <array>
#include <bit>
#include <bitset>
#include <cmath>
#include <mutex>
#include <numbers>
#include <vector>

#include "runtime/SpectralTables.h"

namespace vormlek {
namespace {

struct Cx {
    double re, im;
};

inline Cx Load(const double* p) noexcept { return {p[0], p[1]}; }
inline void Store(double* p, Cx v) noexcept {
    p[0] = v.re;
    p[1] = v.im;
}
inline Cx operator+(Cx a, Cx b) noexcept { return {a.re + b.re, a.im + b.im}; }
inline Cx operator-(Cx a, Cx b) noexcept { return {a.re - b.re, a.im - b.im}; }
inline Cx operator*(Cx a, Cx b) noexcept { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
inline Cx TimesConj(Cx a, Cx b) noexcept { return {a.re * b.re + a.im * b.im, a.im * b.re - a.re * b.im}; }
inline Cx PlusI(Cx a, Cx b) noexcept { return {a.re - b.im, a.im + b.re}; }   // a + i b
inline Cx MinusI(Cx a, Cx b) noexcept { return {a.re + b.im, a.im - b.re}; }  // a - i b
// The twiddle of size/4 - k from that of k: e^(i (pi/2 - t)) = (sin t, cos t).
inline Cx Complement(Cx w) noexcept { return {w.im, w.re}; }

// ---------------------------------------------------------------------------------------------
// Forward pass, decimation in frequency. For the four quarters x0..x3 of a size-n block and
// w = e^(2 pi i k/n): the even outputs are the half-size transform of x0 + x2, x1 + x3; the outputs
// 4j + 1 and 4j - 1 the quarter-size transforms of (x0 - x2 + i (x1 - x3)) w^k and
// (x0 - x2 - i (x1 - x3)) w^-k. Each sub-transform stays where its inputs were, which gives the
// internal order.

// One L-shaped butterfly; pointers are to the k-th element of each quarter.
template <typename Twiddle>
inline void ForwardButterfly(double* p0, double* p1, double* p2, double* p3, Twiddle twiddle) noexcept {
    const Cx x0 = Load(p0), x1 = Load(p1), x2 = Load(p2), x3 = Load(p3);
    Store(p0, x0 + x2);
    Store(p1, x1 + x3);
    const Cx d0 = x0 - x2, d1 = x1 - x3;
    twiddle(p2, PlusI(d0, d1), p3, MinusI(d0, d1));
}

inline void ForwardButterfly(double* a, std::int32_t quarter, std::int32_t k, Cx w) noexcept {
    double* p = a + 2 * k;
    ForwardButterfly(p, p + 2 * quarter, p + 4 * quarter, p + 6 * quarter, [w](double* o2, Cx u, double* o3, Cx v) {
        Store(o2, u * w);
        Store(o3, TimesConj(v, w));
    });
}

inline void ForwardButterflyUnit(double* a, std::int32_t quarter) noexcept {
    ForwardButterfly(a, a + 2 * quarter, a + 4 * quarter, a + 6 * quarter, [](double* o2, Cx u, double* o3, Cx v) {
        Store(o2, u);
        Store(o3, v);
    });
}

// w = (r, r) with r = sqrt(1/2): the eighth-turn twiddle, two multiplications instead of four.
inline void ForwardButterflyEighth(double* a, std::int32_t quarter, std::int32_t k, double r) noexcept {
    double* p = a + 2 * k;
    ForwardButterfly(p, p + 2 * quarter, p + 4 * quarter, p + 6 * quarter, [r](double* o2, Cx u, double* o3, Cx v) {
        Store(o2, {(u.re - u.im) * r, (u.re + u.im) * r});
        Store(o3, {(v.re + v.im) * r, (v.im - v.re) * r});
    });
}

// The 2- to 16-point forward transforms, unrolled; c holds the radix-16 constants.
template <int N>
inline void ForwardFixed(double* a, const double* c) noexcept {
    if constexpr (N == 2) {
        const Cx x0 = Load(a), x1 = Load(a + 2);
        Store(a, x0 + x1);
        Store(a + 2, x0 - x1);
    } else if constexpr (N > 2) {
        constexpr std::int32_t quarter = N / 4;
        ForwardButterflyUnit(a, quarter);
        if constexpr (N == 8) ForwardButterflyEighth(a, quarter, 1, c[2]);
        if constexpr (N == 16) {
            ForwardButterfly(a, quarter, 1, {c[0], c[1]});
            ForwardButterfly(a, quarter, 2, {c[2], c[3]});
            ForwardButterfly(a, quarter, 3, {c[4], c[5]});
        }
        ForwardFixed<N / 2>(a, c);
        ForwardFixed<N / 4>(a + N, c);
        ForwardFixed<N / 4>(a + 3 * N / 2, c);
    }
}

void ForwardPass(double* a, std::int32_t n, const double* c) noexcept {
    if (n == 16) return ForwardFixed<16>(a, c);
    if (n == 8) return ForwardFixed<8>(a, c);
    const std::int32_t quarter = n / 4, eighth = n / 8;
    const double* twiddles = Twiddles(n).data();
    ForwardButterflyUnit(a, quarter);
    for (std::int32_t k = 1; k < eighth; ++k) {
        const Cx w = Load(twiddles + 2 * (k - 1));
        ForwardButterfly(a, quarter, k, w);
        ForwardButterfly(a, quarter, quarter - k, Complement(w));
    }
    ForwardButterflyEighth(a, quarter, eighth, c[2]);
    ForwardPass(a, n / 2, c);
    ForwardPass(a + n, quarter, c);
    ForwardPass(a + 3 * n / 2, quarter, c);
}

// ---------------------------------------------------------------------------------------------
// Inverse pass, decimation in time, the forward pass run backwards with conjugate twiddles: the
// sub-transforms first, then per k the half-size result A, and the quarter results B and C turned
// by w^-k and w^k, combine as A[k] +- (B' + C') and A[k + n/4] -+ i (B' - C').

template <typename Twiddle>
inline void InverseButterfly(double* p0, double* p1, double* p2, double* p3, Twiddle twiddle) noexcept {
    Cx b, c;
    twiddle(Load(p2), Load(p3), b, c);
    const Cx a0 = Load(p0), a1 = Load(p1);
    const Cx sum = b + c, difference = b - c;
    Store(p0, a0 + sum);
    Store(p2, a0 - sum);
    Store(p1, MinusI(a1, difference));
    Store(p3, PlusI(a1, difference));
}

inline void InverseButterfly(double* a, std::int32_t quarter, std::int32_t k, Cx w) noexcept {
    double* p = a + 2 * k;
    InverseButterfly(p, p + 2 * quarter, p + 4 * quarter, p + 6 * quarter, [w](Cx x2, Cx x3, Cx& b, Cx& c) {
        b = TimesConj(x2, w);
        c = x3 * w;
    });
}

inline void InverseButterflyUnit(double* a, std::int32_t quarter) noexcept {
    InverseButterfly(a, a + 2 * quarter, a + 4 * quarter, a + 6 * quarter, [](Cx x2, Cx x3, Cx& b, Cx& c) {
        b = x2;
        c = x3;
    });
}

inline void InverseButterflyEighth(double* a, std::int32_t quarter, std::int32_t k, double r) noexcept {
    double* p = a + 2 * k;
    InverseButterfly(p, p + 2 * quarter, p + 4 * quarter, p + 6 * quarter, [r](Cx x2, Cx x3, Cx& b, Cx& c) {
        b = {(x2.re + x2.im) * r, (x2.im - x2.re) * r};
        c = {(x3.re - x3.im) * r, (x3.re + x3.im) * r};
    });
}

template <int N>
inline void InverseFixed(double* a, const double* c) noexcept {
    if constexpr (N == 2) {
        const Cx x0 = Load(a), x1 = Load(a + 2);
        Store(a, x0 + x1);
        Store(a + 2, x0 - x1);
    } else if constexpr (N > 2) {
        constexpr std::int32_t quarter = N / 4;
        InverseFixed<N / 2>(a, c);
        InverseFixed<N / 4>(a + N, c);
        InverseFixed<N / 4>(a + 3 * N / 2, c);
        InverseButterflyUnit(a, quarter);
        if constexpr (N == 8) InverseButterflyEighth(a, quarter, 1, c[2]);
        if constexpr (N == 16) {
            InverseButterfly(a, quarter, 1, {c[0], c[1]});
            InverseButterfly(a, quarter, 2, {c[2], c[3]});
            InverseButterfly(a, quarter, 3, {c[4], c[5]});
        }
    }
}

void InversePass(double* a, std::int32_t n, const double* c) noexcept {
    if (n == 16) return InverseFixed<16>(a, c);
    if (n == 8) return InverseFixed<8>(a, c);
    const std::int32_t quarter = n / 4, eighth = n / 8;
    InversePass(a, n / 2, c);
    InversePass(a + n, quarter, c);
    InversePass(a + 3 * n / 2, quarter, c);
    const double* twiddles = Twiddles(n).data();
    InverseButterflyUnit(a, quarter);
    for (std::int32_t k = 1; k < eighth; ++k) {
        const Cx w = Load(twiddles + 2 * (k - 1));
        InverseButterfly(a, quarter, k, w);
        InverseButterfly(a, quarter, quarter - k, Complement(w));
    }
    InverseButterflyEighth(a, quarter, eighth, c[2]);
}

// Modes 4 and 5: the permutation by T_N, in place, following each cycle of T once.
void Reorder(double* block, std::int32_t size, bool toNatural) noexcept {
    const std::int32_t* table = Reordering(size).data();
    std::bitset<kFftMaxSize> placed;
    for (std::int32_t start = 0; start < size; ++start) {
        if (placed[static_cast<std::size_t>(start)]) continue;
        Cx carried = Load(block + 2 * start);
        std::int32_t i = start;
        if (toNatural) {
            // block[i] = old[T[i]]: each value moves one step back along the cycle.
            for (; table[i] != start; i = table[i]) {
                placed[static_cast<std::size_t>(i)] = true;
                Store(block + 2 * i, Load(block + 2 * table[i]));
            }
            placed[static_cast<std::size_t>(i)] = true;
            Store(block + 2 * i, carried);
        } else {
            // block[T[i]] = old[i]: the carried value goes forward and picks up the one it displaces.
            do {
                i = table[i];
                placed[static_cast<std::size_t>(i)] = true;
                const Cx displaced = Load(block + 2 * i);
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
        Store(work.data() + 2 * n, Cx{input(2 * n), input(m - 1 - 2 * n)} * Load(plan.preTurn.data() + 2 * n));
    // The forward pass has kernel e^(+2 pi i nk/N): the e^(-...) spectrum at k is where T_N points.
    ForwardPass(work.data(), points, Radix16Constants().data());
    const std::int32_t* natural = Reordering(points).data();
    for (std::int32_t k = 0; k < points; ++k) {
        const Cx d = Load(work.data() + 2 * natural[k]) * Load(plan.postTurn.data() + 2 * k);
        store(2 * k, d.re);
        store(m - 1 - 2 * k, -d.im);
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
        const Cx x = Load(a + i), y = Load(b + i);
        Store(out + i, product(Load(out + i), x * y));
    }
}

}  // namespace

void FftBlock(double* block, std::int32_t size, std::int32_t mode) noexcept {
    switch (mode) {
    case kFftForward: return ForwardPass(block, size, Radix16Constants().data());
    case kFftInverse: return InversePass(block, size, Radix16Constants().data());
    case kFftToNatural: return Reorder(block, size, true);
    case kFftFromNatural: return Reorder(block, size, false);
    default: return;
    }
}

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
