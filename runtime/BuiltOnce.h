// Something built once per process on first use, by whichever thread asks first.
#pragma once

#include <atomic>
#include <mutex>

namespace vormlek {

// Calls racing on several threads build once, and none of them returns before the build is
// complete. Once built, a call is one acquire load: std::call_once alone costs thread-local lookups
// and a library call on every call in the Windows builds, and the spectral built-ins ask per block.
class BuiltOnce {
public:
    template <typename Build>
    void Ensure(Build build) {
        if (built.load(std::memory_order_acquire)) return;
        std::call_once(once, [&] {
            build();
            built.store(true, std::memory_order_release);
        });
    }

private:
    std::once_flag once;
    std::atomic<bool> built{false};
};

}  // namespace vormlek
