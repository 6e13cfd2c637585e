// Counts heap allocations made anywhere in the process (plug-ins included) while counting is on.
// The executable interposes the C allocation functions, which operator new also goes through; under a
// sanitizer that owns the allocator there is no counter and available() says so.
#pragma once

#include <cstddef>

namespace vsthost::allocations {

// True when the counter is built in and sees a probe allocation.
bool available() noexcept;
void start() noexcept;
// Stops counting; answers the allocations seen since start().
std::size_t stop() noexcept;

}  // namespace vsthost::allocations
