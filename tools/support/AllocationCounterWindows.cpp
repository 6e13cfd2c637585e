#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>

#include "tools/support/AllocationCounter.h"

namespace {

// The thread that counts (0: none). A thread id, not a thread-local flag: thread-local variables of
// this runtime are themselves allocated on first use.
std::atomic<DWORD> countingThread{0};
std::atomic<std::size_t> seen{0};
std::atomic<bool> moduleWatched{false};

// The imports that can be pointed at a counting function, and the functions they pointed at before.
enum Hooked {
    kMalloc,
    kCalloc,
    kRealloc,
    kRecalloc,
    kAlignedMalloc,
    kAlignedRealloc,
    kAlignedOffsetMalloc,
    kStrdup,
    kHeapAlloc,
    kHeapReAlloc,
    kRtlAllocateHeap,
    kRtlReAllocateHeap,
    kLocalAlloc,
    kLocalReAlloc,
    kGlobalAlloc,
    kGlobalReAlloc,
    kHookedCount
};
void* originals[kHookedCount] = {};

// A counting function in place of an import of the C runtime (__cdecl) or of the system (WINAPI,
// which differs on 32-bit Windows): counts, then calls what the import pointed at before.
template <Hooked which, typename Result, typename... Arguments>
Result __cdecl CountingRuntime(Arguments... arguments) {
    vsthost::allocations::note();
    return reinterpret_cast<Result(__cdecl*)(Arguments...)>(originals[which])(arguments...);
}
template <Hooked which, typename Result, typename... Arguments>
Result WINAPI CountingSystem(Arguments... arguments) {
    vsthost::allocations::note();
    return reinterpret_cast<Result(WINAPI*)(Arguments...)>(originals[which])(arguments...);
}

template <typename Function>
void* Address(Function function) {
    return reinterpret_cast<void*>(function);
}

using std::size_t;
const struct {
    const char* name;
    void* counting;
} kHooks[kHookedCount] = {
    {"malloc", Address(&CountingRuntime<kMalloc, void*, size_t>)},
    {"calloc", Address(&CountingRuntime<kCalloc, void*, size_t, size_t>)},
    {"realloc", Address(&CountingRuntime<kRealloc, void*, void*, size_t>)},
    {"_recalloc", Address(&CountingRuntime<kRecalloc, void*, void*, size_t, size_t>)},
    {"_aligned_malloc", Address(&CountingRuntime<kAlignedMalloc, void*, size_t, size_t>)},
    {"_aligned_realloc", Address(&CountingRuntime<kAlignedRealloc, void*, void*, size_t, size_t>)},
    {"_aligned_offset_malloc", Address(&CountingRuntime<kAlignedOffsetMalloc, void*, size_t, size_t, size_t>)},
    {"_strdup", Address(&CountingRuntime<kStrdup, char*, const char*>)},
    {"HeapAlloc", Address(&CountingSystem<kHeapAlloc, LPVOID, HANDLE, DWORD, SIZE_T>)},
    {"HeapReAlloc", Address(&CountingSystem<kHeapReAlloc, LPVOID, HANDLE, DWORD, LPVOID, SIZE_T>)},
    {"RtlAllocateHeap", Address(&CountingSystem<kRtlAllocateHeap, PVOID, PVOID, ULONG, SIZE_T>)},
    {"RtlReAllocateHeap", Address(&CountingSystem<kRtlReAllocateHeap, PVOID, PVOID, ULONG, PVOID, SIZE_T>)},
    {"LocalAlloc", Address(&CountingSystem<kLocalAlloc, HLOCAL, UINT, SIZE_T>)},
    {"LocalReAlloc", Address(&CountingSystem<kLocalReAlloc, HLOCAL, HLOCAL, SIZE_T, UINT>)},
    {"GlobalAlloc", Address(&CountingSystem<kGlobalAlloc, HGLOBAL, UINT, SIZE_T>)},
    {"GlobalReAlloc", Address(&CountingSystem<kGlobalReAlloc, HGLOBAL, HGLOBAL, SIZE_T, UINT>)},
};

// The hook for an import, found by its name where the module keeps its import names, else by the
// address the system loader wrote into the slot. kHookedCount: not an allocation function.
int HookFor(const unsigned char* base, const IMAGE_IMPORT_DESCRIPTOR& library, const IMAGE_THUNK_DATA& name,
            void* resolved) {
    if (library.OriginalFirstThunk != 0) {
        if (IMAGE_SNAP_BY_ORDINAL(name.u1.Ordinal)) return kHookedCount;
        const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name.u1.AddressOfData);
        for (int hook = 0; hook < kHookedCount; ++hook)
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), kHooks[hook].name) == 0) return hook;
        return kHookedCount;
    }
    const HMODULE exporter = GetModuleHandleA(reinterpret_cast<const char*>(base + library.Name));
    if (exporter == nullptr) return kHookedCount;
    for (int hook = 0; hook < kHookedCount; ++hook)
        if (reinterpret_cast<void*>(GetProcAddress(exporter, kHooks[hook].name)) == resolved) return hook;
    return kHookedCount;
}

bool WriteSlot(void** slot, void* value) noexcept {
    DWORD previous = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &previous)) return false;
    *slot = value;
    VirtualProtect(slot, sizeof *slot, previous, &previous);
    return true;
}

}  // namespace

namespace vsthost::allocations {

void note() noexcept {
    if (countingThread.load(std::memory_order_relaxed) == GetCurrentThreadId())
        seen.fetch_add(1, std::memory_order_relaxed);
}

void start() noexcept {
    seen.store(0, std::memory_order_relaxed);
    countingThread.store(GetCurrentThreadId(), std::memory_order_relaxed);
}

std::size_t stop() noexcept {
    countingThread.store(0, std::memory_order_relaxed);
    return seen.load(std::memory_order_relaxed);
}

// No interposers here: only ModuleAllocations counts.
bool available() noexcept { return false; }

ModuleAllocations::ModuleAllocations(void* module) {
    if (module == nullptr) {
        whyNot_ = "no module to watch";
        return;
    }
    if (moduleWatched.exchange(true)) {
        whyNot_ = "the allocations of another module are being counted";
        return;
    }
    watching_ = true;
    const auto* base = static_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress != 0) {
        for (const auto* library = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             library->Name != 0; ++library) {
            const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
                base + (library->OriginalFirstThunk != 0 ? library->OriginalFirstThunk : library->FirstThunk));
            auto** slots = reinterpret_cast<void**>(const_cast<unsigned char*>(base) + library->FirstThunk);
            for (; names->u1.AddressOfData != 0; ++names, ++slots) {
                const int hook = HookFor(base, *library, *names, *slots);
                if (hook == kHookedCount) continue;
                if (originals[hook] != nullptr && originals[hook] != *slots) continue;  // a second runtime's function of that name
                originals[hook] = *slots;
                if (WriteSlot(slots, kHooks[hook].counting)) patches_.push_back({slots, originals[hook]});
            }
        }
    }
    if (patches_.empty())
        whyNot_ = "the plug-in imports none of the allocation functions this host can count (malloc, calloc, realloc, "
                  "HeapAlloc and their kin)";
}

ModuleAllocations::~ModuleAllocations() {
    if (!watching_) return;
    for (const Patch& patch : patches_) WriteSlot(patch.slot, patch.original);
    std::fill(std::begin(originals), std::end(originals), nullptr);
    moduleWatched = false;
}

}  // namespace vsthost::allocations
