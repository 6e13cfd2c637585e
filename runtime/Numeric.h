// The numeric conventions that script code, as a script compiler emits it, follows.
#pragma once

#include <cmath>
#include <cstdint>

namespace vormlek {

// A computed value stored into a script variable, slider or sample: NaN and infinities become 0.
inline double SafeStore(double value) noexcept { return std::isfinite(value) ? value : 0.0; }

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
