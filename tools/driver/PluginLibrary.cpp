#include "tools/driver/PluginLibrary.h"

#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vsthost {

namespace {

constexpr const char* kEntryNames[] = {"VSTPluginMain", "main", "MAIN"};

}  // namespace

PluginLibrary::~PluginLibrary() { unload(); }

PluginLibrary::PluginLibrary(PluginLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), path_(std::move(other.path_)), error_(std::move(other.error_)) {}

PluginLibrary& PluginLibrary::operator=(PluginLibrary&& other) noexcept {
    if (this != &other) {
        unload();
        handle_ = std::exchange(other.handle_, nullptr);
        path_ = std::move(other.path_);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool PluginLibrary::load(const std::string& path) {
    unload();
    path_ = path;
    error_.clear();
#if defined(_WIN32)
    handle_ = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
    if (handle_ == nullptr) error_ = "LoadLibrary failed with error " + std::to_string(GetLastError());
#else
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* message = dlerror();
        error_ = message != nullptr ? message : "dlopen failed";
    }
#endif
    return handle_ != nullptr;
}

VstPluginMainProc PluginLibrary::entryNamed(const char* name) const noexcept {
    if (handle_ == nullptr) return nullptr;
#if defined(_WIN32)
    return reinterpret_cast<VstPluginMainProc>(
        reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)));
#else
    return reinterpret_cast<VstPluginMainProc>(dlsym(handle_, name));
#endif
}

VstPluginMainProc PluginLibrary::entry() const noexcept {
    for (const char* name : kEntryNames) {
        if (VstPluginMainProc found = entryNamed(name)) return found;
    }
    return nullptr;
}

std::string PluginLibrary::entryName() const {
    for (const char* name : kEntryNames) {
        if (entryNamed(name) != nullptr) return name;
    }
    return {};
}

void PluginLibrary::unload() noexcept {
    if (handle_ == nullptr) return;
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
    handle_ = nullptr;
}

}  // namespace vsthost
