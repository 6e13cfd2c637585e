// Loads a VST 2.4 plug-in binary by path and finds its entry point, as a host does.
#pragma once

#include <string>

#include "vst/vst24.h"

namespace vsthost {

class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(PluginLibrary&& other) noexcept;
    PluginLibrary& operator=(PluginLibrary&& other) noexcept;
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Loads the binary; on failure returns false and error() says why.
    bool load(const std::string& path);
    bool loaded() const noexcept { return handle_ != nullptr; }

    // The entry by name, or null. entry() tries VSTPluginMain, then main, then MAIN.
    VstPluginMainProc entryNamed(const char* name) const noexcept;
    VstPluginMainProc entry() const noexcept;
    // The name of the symbol entry() found, or "" when none.
    std::string entryName() const;

    const std::string& error() const noexcept { return error_; }
    const std::string& path() const noexcept { return path_; }
    // The system loader's handle of the loaded binary (an HMODULE on Windows), or null.
    void* handle() const noexcept { return handle_; }

private:
    void unload() noexcept;

    void* handle_ = nullptr;
    std::string path_;
    std::string error_;
};

}  // namespace vsthost
