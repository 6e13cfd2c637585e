// Process-wide twiddle and reordering tables for the spectral built-ins, built once.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vormlek {

// Builds the tables on the first call in the process; later calls find them ready. Calls racing on
// several threads build once, and none of them returns before the tables are complete.
void EnsureSpectralTables() noexcept;

// How often the tables were built in this process: 0 before the first script object, then 1.
int SpectralTableBuilds() noexcept;

// The six radix-16 constants: cos(pi/8), sin(pi/8), sqrt(1/2), sqrt(1/2) one unit in the last
// place lower, sin(pi/8) one unit higher, cos(pi/8). Read as pairs they are the (cos, sin) twiddles
// 1 to 3 of the 16-point transform, as a library's sin(pi/4) and cos(3pi/8) round.
std::span<const double, 6> Radix16Constants() noexcept;

// Twiddle pairs (cos, sin) of 2 pi k / size for k = 1, 2, ..., interleaved: size/4 - 1 pairs for
// the sizes 32 to 512, size/8 - 1 pairs for 1024 to 32768 (the rest follows by symmetry).
// Empty for any other size.
std::span<const double> Twiddles(std::int32_t size) noexcept;

// The twiddles of the FFT's stages of sizes 16 to 32768, laid out for turning: for k = 0 .. size/4 - 1
// the twiddle e^(2 pi i k/size) = (c, s) as the vectors (c, c) and (-s, s), two k at a time, so that
// eight doubles hold c_k c_k c_k+1 c_k+1 -s_k s_k -s_k+1 s_k+1. k = 0 is (1, 0); size 16 takes the
// radix-16 constants; the larger sizes take their table above up to the eighth turn, then
// (sqrt(1/2), sqrt(1/2)) at it and (sin, cos) of size/4 - k beyond it. Indexed by log2 of the size
// (null for sizes without), so that the passes look up none of them on the way.
using StageTurnList = std::array<const double*, 16>;
const StageTurnList& StageTurnsBySizeExponent() noexcept;

// T_size, the reordering between natural and internal transform order, for the powers of two from
// 2 to 32768: T[0] = 0 and T[size - s(p)] = p, where s(p) is the natural index that the transform
// holds at internal position p. Empty for any other size.
std::span<const std::int32_t> Reordering(std::int32_t size) noexcept;

// The natural index held at internal position p of a size-point transform (split-radix order).
std::int32_t SplitRadixOrder(std::int32_t size, std::int32_t p) noexcept;

inline constexpr std::int32_t kReorderingEntries = 65534;  // T_2 .. T_32768 back to back

}  // namespace vormlek
