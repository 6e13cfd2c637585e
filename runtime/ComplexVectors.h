// The complex vectors the spectral built-ins compute with, shared by the FFT, the MDCT and the block
// products: loads and stores that allow any alignment, swaps, sign flips and turns by twiddles.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace vormlek::vectors {

// One complex value (re, im) in a two-lane vector, so that sums and differences, and the two halves
// of every product, take one instruction each; the stages of larger blocks work on two neighbouring
// complex values at once, in a four-lane vector.
using Cx = double __attribute__((vector_size(16)));
// Four-lane vectors pass between inlined helpers of the transform files only, so the note that their
// calling convention differs with and without AVX concerns no interface.
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
// From a table aligned to the vector's size: SSE2 can then take it as the operand of a multiplication
// instead of loading it first.
template <typename V>
[[gnu::always_inline]] inline V LoadAligned(const double* p) noexcept {
    return Load<V>(static_cast<const double*>(__builtin_assume_aligned(p, sizeof(V))));
}
template <typename V>
[[gnu::always_inline]] inline void Store(double* p, V value) noexcept { std::memcpy(p, &value, sizeof value); }

#if defined(__SSE2__) && defined(__x86_64__)
// pshufd writes its own destination, where SSE2's shufpd overwrites its source and so costs a copy
// whenever the source is still needed. The compiler folds a swap written as a vector shuffle back
// into shufpd, hence the intrinsic. With the 8 vector registers of 32-bit x86 the compiler
// allocates worse around it, and the portable kernel ran 10 % slower there.
[[gnu::always_inline]] inline Cx Swapped(Cx a) noexcept { return (Cx)_mm_shuffle_epi32((__m128i)a, 0x4e); }
#else
[[gnu::always_inline]] inline Cx Swapped(Cx a) noexcept { return __builtin_shufflevector(a, a, 1, 0); }
#endif
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

// Two complex values side by side, and each half of such a pair.
[[gnu::always_inline]] inline Cx2 Joined(Cx low, Cx high) noexcept { return __builtin_shufflevector(low, high, 0, 1, 2, 3); }
[[gnu::always_inline]] inline Cx LowHalf(Cx2 a) noexcept { return __builtin_shufflevector(a, a, 0, 1); }
[[gnu::always_inline]] inline Cx HighHalf(Cx2 a) noexcept { return __builtin_shufflevector(a, a, 2, 3); }

// The general complex product, for the MDCT rotations and the block products.
inline Cx Times(Cx a, Cx b) noexcept { return TurnOf(b[0], b[1]).Up(a); }

}  // namespace vormlek::vectors
