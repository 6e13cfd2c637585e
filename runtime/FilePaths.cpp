#include "runtime/FilePaths.h"

#include <dirent.h>
#include <sys/stat.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vormlek {

bool IsSeparator(char c) noexcept { return c == '\\' || c == '/'; }

std::string WithTrailingSeparator(std::string_view text) {
    std::string result(text);
    if (result.empty() || !IsSeparator(result.back())) result.push_back(kNativeSeparator);
    return result;
}

#if defined(_WIN32)
extern "C" IMAGE_DOS_HEADER __ImageBase;  // this module's own base address is its handle

std::string ModulePath() {
    char path[260] = {};
    const DWORD length = GetModuleFileNameA(reinterpret_cast<HMODULE>(&__ImageBase), path, sizeof(path));
    return std::string(path, length < sizeof(path) ? length : 0);
}
#else
std::string ModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&ModulePath), &info) == 0 || info.dli_fname == nullptr) return {};
    return info.dli_fname;
}
#endif

std::string ModuleDirectory() {
    std::string path = ModulePath();
    std::size_t end = path.size();
    while (end > 0 && !IsSeparator(path[end - 1])) --end;
    path.resize(end);
    return path;
}

std::string ResolveFileName(std::string_view name) {
    if (!name.empty() && IsSeparator(name.front())) name.remove_prefix(1);
    return ModuleDirectory() + std::string(name);
}

std::vector<std::string> ListDirectory(const std::string& directory) {
    std::vector<std::string> names;
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) return names;
    while (const dirent* entry = readdir(listing)) {
        if (entry->d_name[0] == '.') continue;
        struct stat status {};
        if (stat((directory + entry->d_name).c_str(), &status) != 0 || S_ISDIR(status.st_mode)) continue;
        names.emplace_back(entry->d_name);
    }
    closedir(listing);
    return names;
}

}  // namespace vormlek
