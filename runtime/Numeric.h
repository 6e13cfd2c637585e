// The numeric conventions that script code, as a script compiler emits it, follows.
#pragma once

#include <cmath>
#include <cstdint>

#if defined(__i386__) && defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vormlek {

// A computed value stored into a script variable, slider or sample: NaN and infinities become 0.
inline double SafeStore(double value) noexcept {
#if defined(__i386__) && defined(__SSE2__)
    // On 32-bit x86 GCC makes this choice between the halves of the double in 32-bit registers, and
    // the next 8-byte read of the result stalls on store forwarding; masked in an SSE register it
    // stays whole. A double is finite when the magnitude of its high word is below infinity's; the
    // integer comparison raises no floating-point flag, like the test it replaces.
    const __m128d whole = _mm_set_sd(value);
    const __m128i magnitude = _mm_and_si128(_mm_castpd_si128(whole), _mm_set1_epi32(0x7FFFFFFF));
    const __m128i finite = _mm_cmpgt_epi32(_mm_set1_epi32(0x7FF00000), magnitude);
    const __m128i finiteHighWord = _mm_shuffle_epi32(finite, _MM_SHUFFLE(1, 1, 1, 1));
    return _mm_cvtsd_f64(_mm_and_pd(whole, _mm_castsi128_pd(finiteHighWord)));
#else
    return std::isfinite(value) ? value : 0.0;
#endif
}

// A double turned into an integer: nudged by 0.0001 away from zero, then truncated. Values that
// do not fit in 32 bits (and NaN) give INT32_MIN, the x86 conversion's "integer indefinite".
inline std::int32_t RoundIndex(double value) noexcept {
    const double nudged = value >= 0.0 ? value + 0.0001 : value - 0.0001;
    if (!(nudged > -2147483649.0 && nudged < 2147483648.0)) return INT32_MIN;
    return static_cast<std::int32_t>(nudged);
}

// A number used as a condition: true outside (-0.00001, 0.00001); NaN counts as true.
inline bool IsNonzero(double value) noexcept { return !(value > -0.00001 && value < 0.00001); }

// Two numbers differ when their difference passes the nonzero test.
inline bool Differ(double a, double b) noexcept { return IsNonzero(a - b); }

}  // namespace vormlek
