// The clocks that scripts read: the wall clock, and a coarse steady tick that tells cheaply whether
// an interval may be over, so that a throttle reads the wall clock only near its deadline.
#pragma once

#include <cmath>
#include <cstdint>

namespace vormlek {

// Seconds since 1970 with microsecond resolution. Costs 20 to 70 ns a read (a system call under Wine).
double WallClockSeconds() noexcept;

// Milliseconds of a steady clock that the system advances once per timer tick and that is read from
// memory it keeps current: a few nanoseconds. A reading lags real time by less than a tick, at most
// kCoarseTickLagMilliseconds.
std::int64_t CoarseTickMilliseconds() noexcept;
inline constexpr std::int64_t kCoarseTickLagMilliseconds = 16;

// A tick reading older than every real one: from it, any interval may be over.
inline constexpr std::int64_t kLongAgoTick = INT64_MIN / 2;

// False only when less than `seconds` can have passed since `sinceTick` was read: the two readings
// lag by less than a tick each, and 2 ms more cover the rounding to milliseconds and a wall clock
// that an adjustment runs slightly fast. So a wall-clock comparison behind it decides as without it.
// Compared in whole milliseconds (elapsed >= t exactly when elapsed >= ceil(t)): 32-bit x86 has no
// SSE conversion of a 64-bit integer to double.
inline bool MayHavePassed(std::int64_t sinceTick, double seconds) noexcept {
    const auto threshold = static_cast<std::int64_t>(std::ceil(seconds * 1000.0)) - (kCoarseTickLagMilliseconds + 2);
    return CoarseTickMilliseconds() - sinceTick >= threshold;
}

}  // namespace vormlek
