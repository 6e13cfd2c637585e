// Counts heap allocations made anywhere in the process (plug-ins included) while counting is on.
// A program that links the counter interposes the C library's allocation functions, which operator
// new also goes through. That works with glibc and without a sanitizer, which owns the allocator;
// elsewhere available() says there is no counter.
#pragma once

#include <cstddef>

namespace vsthost::allocations {

// True when the interposers are built in and see a probe allocation.
bool available() noexcept;
void start() noexcept;
// Stops counting; answers the allocations seen since start().
std::size_t stop() noexcept;
// Counts one allocation while counting is on: for allocation hooks of a sanitizer, which a test
// may install where the interposers cannot be.
void note() noexcept;

}  // namespace vsthost::allocations
