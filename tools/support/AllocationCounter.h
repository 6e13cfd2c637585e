// Counts heap allocations made on the calling thread (by plug-in code included) between start() and
// stop(); allocations on other threads are not counted.
// A program that links the counter interposes the C library's allocation functions, which operator
// new also goes through. That works with glibc and without a sanitizer, which owns the allocator;
// elsewhere available() says there is no counter.
#pragma once

#include <cstddef>

namespace vsthost::allocations {

// True when the interposers are built in and see a probe allocation.
bool available() noexcept;
// Starts counting on the calling thread.
void start() noexcept;
// Stops counting (call on the thread that started); answers the allocations seen since start().
std::size_t stop() noexcept;
// Counts one allocation when the calling thread is counting: for allocation hooks of a sanitizer,
// which a test may install where the interposers cannot be.
void note() noexcept;

}  // namespace vsthost::allocations
