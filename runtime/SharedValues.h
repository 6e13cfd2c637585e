// Doubles that host threads share: the slider table (set and read by parameter calls and chunk
// loads), the gains and host values a script derives from it (written by the slider hook, read
// by the audio hooks). They stay plain doubles in the script's layout and are accessed whole
// through std::atomic_ref, which takes no lock: a relaxed load or store compiles to the same
// single move as a plain one on x86, so the audio path pays nothing.
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>

namespace vormlek {

// A non-lock-free 8-byte atomic would hide a lock on the audio path (a risk on 32-bit targets).
static_assert(std::atomic_ref<double>::is_always_lock_free, "shared doubles need lock-free 8-byte atomics");
static_assert(alignof(double) >= std::atomic_ref<double>::required_alignment,
              "every double member must be aligned for atomic access");

// On 32-bit x86 GCC carries an 8-byte atomic through a pair of 32-bit registers, and the next 8-byte
// read of the value then waits for both halves to reach memory (a store-forwarding stall, several
// per block). There the relaxed load and store are written as what they compile to elsewhere: one
// 8-byte SSE move, which x86 performs atomically on an aligned double.
inline double LoadShared(const double& value) noexcept {
#if defined(__i386__) && defined(__SSE2__)
    double loaded;
    __asm__ volatile("movq %1, %0" : "=x"(loaded) : "m"(value));
    return loaded;
#else
    return std::atomic_ref<double>(const_cast<double&>(value)).load(std::memory_order_relaxed);
#endif
}

inline void StoreShared(double& target, double value) noexcept {
#if defined(__i386__) && defined(__SSE2__)
    __asm__ volatile("movq %1, %0" : "=m"(target) : "x"(value));
#else
    std::atomic_ref<double>(target).store(value, std::memory_order_relaxed);
#endif
}

// For a value that others are derived from (a slider value): stored in the single total order
// that StoreDerived reads it in, so that a derived value is never left behind by a late writer.
inline void StoreSource(double& target, double value) noexcept {
    std::atomic_ref<double>(target).store(value, std::memory_order_seq_cst);
}

// Stores derive(source) into derived. Two threads doing this at once for a source that changes
// meanwhile could otherwise finish in either order and leave the value derived from the older
// source; so each writer checks after its store that the source is still what it derived from,
// and derives again if not. The last store then always comes from the latest source. No lock is
// taken, and a thread alone derives exactly once. Costs a full fence here, off the audio path.
template <typename Derive>
void StoreDerived(const double& source, double& derived, Derive derive) noexcept {
    std::atomic_ref<double> from(const_cast<double&>(source));
    std::atomic_ref<double> to(derived);
    double seen = from.load(std::memory_order_seq_cst);
    for (;;) {
        to.store(derive(seen), std::memory_order_seq_cst);
        const double now = from.load(std::memory_order_seq_cst);
        // Compared as bits: a NaN source must not derive forever.
        if (std::bit_cast<std::uint64_t>(now) == std::bit_cast<std::uint64_t>(seen)) return;
        seen = now;
    }
}

}  // namespace vormlek
