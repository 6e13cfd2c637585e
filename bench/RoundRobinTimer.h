// A small timing harness for where Google Benchmark is not built (the Windows cross builds): cases
// take turns, each repetition running every case for about the same time, so that machine noise
// hits all alike, and each case keeps its fastest repetition. Times are wall-clock (the steady
// clock), per item of work.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace bench {

struct TimedCase {
    std::string name;
    std::function<void()> once;  // one call of the work
    double itemsPerCall = 1.0;   // frames, transforms, ...
    std::int64_t calls = 0;      // per repetition, calibrated on the first
    double fastestNanosecondsPerItem = std::numeric_limits<double>::infinity();
};

inline double SecondsFor(const TimedCase& timed, std::int64_t calls) {
    const auto start = std::chrono::steady_clock::now();
    for (std::int64_t i = 0; i < calls; ++i) timed.once();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Repetitions of secondsPerRepetition per case; prints one line per case with its fastest time.
inline void TimeRoundRobin(std::vector<TimedCase>& cases, int repetitions, double secondsPerRepetition) {
    for (TimedCase& timed : cases) {
        timed.once();  // warm: tables, caches, lazily bound imports
        std::int64_t calls = 1;
        while (SecondsFor(timed, calls) < secondsPerRepetition / 10) calls *= 2;
        timed.calls = calls * 10;
    }
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        for (TimedCase& timed : cases) {
            const double seconds = SecondsFor(timed, timed.calls);
            const double perItem = seconds * 1e9 / (static_cast<double>(timed.calls) * timed.itemsPerCall);
            timed.fastestNanosecondsPerItem = std::min(timed.fastestNanosecondsPerItem, perItem);
        }
    }
    for (const TimedCase& timed : cases) {
        std::printf("%-28s %12.3f ns per item, fastest of %d x %lld calls\n", timed.name.c_str(),
                    timed.fastestNanosecondsPerItem, repetitions, static_cast<long long>(timed.calls));
    }
}

}  // namespace bench
