#include "tools/support/AllocationCounter.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) && \
    !defined(__SANITIZE_MEMORY__)
#define VSTHOST_COUNTS_ALLOCATIONS 1
#else
#define VSTHOST_COUNTS_ALLOCATIONS 0
#endif

namespace {

// Only the thread that started counting counts: a plug-in's own worker threads may allocate while
// it processes, and that is no fault of its processing call. Initial-exec TLS, so reading the flag
// inside malloc cannot itself call malloc.
__attribute__((tls_model("initial-exec"))) thread_local bool countingHere = false;
std::atomic<std::size_t> seen{0};

}  // namespace

namespace vsthost::allocations {

void note() noexcept {
    if (countingHere) seen.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace vsthost::allocations

#if VSTHOST_COUNTS_ALLOCATIONS
// glibc's own allocator under its public alias names; the interposers below count and forward to it.
extern "C" {
void* __libc_malloc(std::size_t size) noexcept;
void* __libc_calloc(std::size_t count, std::size_t size) noexcept;
void* __libc_realloc(void* pointer, std::size_t size) noexcept;
void* __libc_memalign(std::size_t alignment, std::size_t size) noexcept;

void* malloc(std::size_t size) noexcept {
    vsthost::allocations::note();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
    vsthost::allocations::note();
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) noexcept {
    vsthost::allocations::note();
    return __libc_realloc(pointer, size);
}
void* memalign(std::size_t alignment, std::size_t size) noexcept {
    vsthost::allocations::note();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    vsthost::allocations::note();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** result, std::size_t alignment, std::size_t size) noexcept {
    vsthost::allocations::note();
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* memory = __libc_memalign(alignment, size);
    if (memory == nullptr) return ENOMEM;
    *result = memory;
    return 0;
}
}
#endif

namespace vsthost::allocations {

void start() noexcept {
    seen.store(0, std::memory_order_relaxed);
    countingHere = true;
}

std::size_t stop() noexcept {
    countingHere = false;
    return seen.load(std::memory_order_relaxed);
}

bool available() noexcept {
#if VSTHOST_COUNTS_ALLOCATIONS
    start();
    void* volatile probe = std::malloc(16);
    std::free(probe);
    return stop() > 0;
#else
    return false;
#endif
}

ModuleAllocations::ModuleAllocations(void*) {
    if (!available()) whyNot_ = "heap allocations cannot be counted in this build (a sanitizer owns the allocator)";
}

ModuleAllocations::~ModuleAllocations() = default;

}  // namespace vsthost::allocations
