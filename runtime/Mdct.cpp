// The MDCT and its inverse: small sizes in the direct form, larger ones as a DCT-IV computed with a
// complex FFT between two rotations; and the transforms of a block of script memory.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numbers>
#include <vector>

#include "runtime/BuiltOnce.h"
#include "runtime/ComplexVectors.h"
#include "runtime/TransformTables.h"
#include "runtime/Transforms.h"

namespace vormlek {
namespace {

using namespace vectors;

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
    static std::array<BuiltOnce, kMdctSizeCount> built;
    const std::size_t slot = static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(size)) -
                                                      std::countr_zero(static_cast<unsigned>(kMdctMinSize)));
    built[slot].Ensure([&] { BuildMdctPlan(plans[slot], size); });
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
    FftBlock(work.data(), points, kFftForward);
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

}  // namespace

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

void Mdct(CVormlekMemory& memory, std::int32_t index, std::int32_t size) {
    const std::int32_t points = TransformPoints(size, kMdctMinSize, kMdctMaxSize);
    if (points == 0) return;
    if (double* block = memory.MemoryRun(index, points)) MdctBlock(block, points);
}

void InverseMdct(CVormlekMemory& memory, std::int32_t index, std::int32_t size) {
    const std::int32_t points = TransformPoints(size, kMdctMinSize, kMdctMaxSize);
    if (points == 0) return;
    if (double* block = memory.MemoryRun(index, points)) InverseMdctBlock(block, points);
}

}  // namespace vormlek
