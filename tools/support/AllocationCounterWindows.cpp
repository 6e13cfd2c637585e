#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>

#include "AllocationCounter.h"

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

template <typename Function>
Function Original(Hooked which) noexcept {
    return reinterpret_cast<Function>(originals[which]);
}

void* __cdecl CountingMalloc(std::size_t size) {
    vsthost::allocations::note();
    return Original<void*(__cdecl*)(std::size_t)>(kMalloc)(size);
}
void* __cdecl CountingCalloc(std::size_t count, std::size_t size) {
    vsthost::allocations::note();
    return Original<void*(__cdecl*)(std::size_t, std::size_t)>(kCalloc)(count, size);
}
void* __cdecl CountingRealloc(void* pointer, std::size_t size) {
    vsthost::allocations::note();
    return Original<void*(__cdecl*)(void*, std::size_t)>(kRealloc)(pointer, size);
}
void* __cdecl CountingRecalloc(void* pointer, std::size_t count, std::size_t size) {
    vsthost::allocations::note();
    return Original<void*(__cdecl*)(void*, std::size_t, std::size_t)>(kRecalloc)(pointer, count, size);
}
void* __cdecl CountingAlignedMalloc(std::size_t size, std::size_t alignment) {
    vsthost::allocations::note();
    return Original<void*(__cdecl*)(std::size_t, std::size_t)>(kAlignedMalloc)(size, alignment);
}
void* __cdecl CountingAlignedRealloc(void* pointer, std::size_t size, std::size_t alignment) {
    vsthost::allocations::note();
    return Original<void*(__cdecl*)(void*, std::size_t, std::size_t)>(kAlignedRealloc)(pointer, size, alignment);
}
void* __cdecl CountingAlignedOffsetMalloc(std::size_t size, std::size_t alignment, std::size_t offset) {
    vsthost::allocations::note();
    return Original<void*(__cdecl*)(std::size_t, std::size_t, std::size_t)>(kAlignedOffsetMalloc)(size, alignment, offset);
}
char* __cdecl CountingStrdup(const char* text) {
    vsthost::allocations::note();
    return Original<char*(__cdecl*)(const char*)>(kStrdup)(text);
}
LPVOID WINAPI CountingHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
    vsthost::allocations::note();
    return Original<LPVOID(WINAPI*)(HANDLE, DWORD, SIZE_T)>(kHeapAlloc)(heap, flags, size);
}
LPVOID WINAPI CountingHeapReAlloc(HANDLE heap, DWORD flags, LPVOID pointer, SIZE_T size) {
    vsthost::allocations::note();
    return Original<LPVOID(WINAPI*)(HANDLE, DWORD, LPVOID, SIZE_T)>(kHeapReAlloc)(heap, flags, pointer, size);
}
PVOID WINAPI CountingRtlAllocateHeap(PVOID heap, ULONG flags, SIZE_T size) {
    vsthost::allocations::note();
    return Original<PVOID(WINAPI*)(PVOID, ULONG, SIZE_T)>(kRtlAllocateHeap)(heap, flags, size);
}
PVOID WINAPI CountingRtlReAllocateHeap(PVOID heap, ULONG flags, PVOID pointer, SIZE_T size) {
    vsthost::allocations::note();
    return Original<PVOID(WINAPI*)(PVOID, ULONG, PVOID, SIZE_T)>(kRtlReAllocateHeap)(heap, flags, pointer, size);
}
HLOCAL WINAPI CountingLocalAlloc(UINT flags, SIZE_T size) {
    vsthost::allocations::note();
    return Original<HLOCAL(WINAPI*)(UINT, SIZE_T)>(kLocalAlloc)(flags, size);
}
HLOCAL WINAPI CountingLocalReAlloc(HLOCAL memory, SIZE_T size, UINT flags) {
    vsthost::allocations::note();
    return Original<HLOCAL(WINAPI*)(HLOCAL, SIZE_T, UINT)>(kLocalReAlloc)(memory, size, flags);
}
HGLOBAL WINAPI CountingGlobalAlloc(UINT flags, SIZE_T size) {
    vsthost::allocations::note();
    return Original<HGLOBAL(WINAPI*)(UINT, SIZE_T)>(kGlobalAlloc)(flags, size);
}
HGLOBAL WINAPI CountingGlobalReAlloc(HGLOBAL memory, SIZE_T size, UINT flags) {
    vsthost::allocations::note();
    return Original<HGLOBAL(WINAPI*)(HGLOBAL, SIZE_T, UINT)>(kGlobalReAlloc)(memory, size, flags);
}

const struct {
    const char* name;
    void* counting;
} kHooks[kHookedCount] = {
    {"malloc", reinterpret_cast<void*>(&CountingMalloc)},
    {"calloc", reinterpret_cast<void*>(&CountingCalloc)},
    {"realloc", reinterpret_cast<void*>(&CountingRealloc)},
    {"_recalloc", reinterpret_cast<void*>(&CountingRecalloc)},
    {"_aligned_malloc", reinterpret_cast<void*>(&CountingAlignedMalloc)},
    {"_aligned_realloc", reinterpret_cast<void*>(&CountingAlignedRealloc)},
    {"_aligned_offset_malloc", reinterpret_cast<void*>(&CountingAlignedOffsetMalloc)},
    {"_strdup", reinterpret_cast<void*>(&CountingStrdup)},
    {"HeapAlloc", reinterpret_cast<void*>(&CountingHeapAlloc)},
    {"HeapReAlloc", reinterpret_cast<void*>(&CountingHeapReAlloc)},
    {"RtlAllocateHeap", reinterpret_cast<void*>(&CountingRtlAllocateHeap)},
    {"RtlReAllocateHeap", reinterpret_cast<void*>(&CountingRtlReAllocateHeap)},
    {"LocalAlloc", reinterpret_cast<void*>(&CountingLocalAlloc)},
    {"LocalReAlloc", reinterpret_cast<void*>(&CountingLocalReAlloc)},
    {"GlobalAlloc", reinterpret_cast<void*>(&CountingGlobalAlloc)},
    {"GlobalReAlloc", reinterpret_cast<void*>(&CountingGlobalReAlloc)},
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
