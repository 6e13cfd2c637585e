// Counts heap allocations made on the calling thread (by plug-in code included) between start() and
// stop(); allocations on other threads are not counted.
// On Linux a program that links the counter interposes the C library's allocation functions, which
// operator new also goes through. That works with glibc and without a sanitizer, which owns the
// allocator; elsewhere available() says there is no counter. A Windows DLL calls the allocation
// functions of its own runtime and of the system through its imports, which no function of the host
// replaces: ModuleAllocations points those imports at counting functions while it lives.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vsthost::allocations {

// True when the interposers are built in and see a probe allocation (Linux).
bool available() noexcept;
// Starts counting on the calling thread.
void start() noexcept;
// Stops counting (call on the thread that started); answers the allocations seen since start().
std::size_t stop() noexcept;
// Counts one allocation when the calling thread is counting: for allocation hooks of a sanitizer,
// which a test may install where the interposers cannot be.
void note() noexcept;

// Makes the allocations of one loaded plug-in module countable while it lives. On Linux nothing
// needs changing: it counts when available() does. On Windows it patches the module's import address
// table: malloc, calloc, realloc, _aligned_malloc and their kin from any C runtime, and HeapAlloc,
// HeapReAlloc, LocalAlloc, GlobalAlloc and the like from the system, whichever the module imports.
// Allocations made inside other DLLs the module calls are not seen. One module at a time.
class ModuleAllocations {
public:
    explicit ModuleAllocations(void* module);  // the handle the system loader gave for the module
    ~ModuleAllocations();
    ModuleAllocations(const ModuleAllocations&) = delete;
    ModuleAllocations& operator=(const ModuleAllocations&) = delete;

    // Empty when the module's allocations are counted, otherwise why not.
    const std::string& whyNotCounted() const noexcept { return whyNot_; }

private:
    struct Patch {
        void** slot;
        void* original;
    };
    std::vector<Patch> patches_;
    bool watching_ = false;  // this one patched the module (Windows)
    std::string whyNot_;
};

}  // namespace vsthost::allocations
