#include "runtime/Clocks.h"

#include <chrono>

#if defined(_WIN32)
#include <windows.h>
#elif defined(__linux__)
#include <time.h>
#endif

namespace vormlek {

double WallClockSeconds() noexcept {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<double>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()) * 1e-6;
}

std::int64_t CoarseTickMilliseconds() noexcept {
#if defined(_WIN32)
    // Read from the page the system shares with every process, advanced every 15.6 ms at most.
    return static_cast<std::int64_t>(GetTickCount64());
#elif defined(__linux__)
    // Served by the vDSO without a system call, advanced every scheduler tick (1 to 10 ms).
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#else
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
#endif
}

}  // namespace vormlek
