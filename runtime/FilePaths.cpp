#include "runtime/FilePaths.h"

#include <dirent.h>
#include <sys/stat.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vormlek {

namespace {

char LowerAscii(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IsSeparator(char c) noexcept { return c == '\\' || c == '/'; }

bool Equals(std::string_view a, std::string_view b) noexcept { return a == b; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

bool StartsWith(std::string_view text, std::string_view prefix) noexcept { return text.starts_with(prefix); }

bool EndsWith(std::string_view text, std::string_view suffix) noexcept { return text.ends_with(suffix); }

bool EndsWithSeparator(std::string_view text) noexcept { return !text.empty() && IsSeparator(text.back()); }

std::string WithTrailingSeparator(std::string_view text) {
    std::string result(text);
    if (!EndsWithSeparator(result)) result.push_back(kNativeSeparator);
    return result;
}

std::string WithLeadingSeparator(std::string_view text) {
    if (!text.empty() && IsSeparator(text.front())) return std::string(text);
    return kNativeSeparator + std::string(text);
}

std::string_view WithoutLeadingSeparator(std::string_view text) noexcept {
    if (!text.empty() && IsSeparator(text.front())) text.remove_prefix(1);
    return text;
}

std::ptrdiff_t LastSeparator(std::string_view text) noexcept {
    for (std::size_t end = text.size(); end > 0; --end) {
        if (IsSeparator(text[end - 1])) return static_cast<std::ptrdiff_t>(end - 1);
    }
    return -1;
}

std::string_view DirectoryPart(std::string_view text) noexcept {
    return text.substr(0, static_cast<std::size_t>(LastSeparator(text) + 1));
}

std::string_view FileNamePart(std::string_view text) noexcept {
    return text.substr(static_cast<std::size_t>(LastSeparator(text) + 1));
}

std::string_view Extension(std::string_view text) noexcept {
    const std::size_t dot = text.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : text.substr(dot);
}

#if defined(_WIN32)
std::string ModulePath() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(static_cast<HMODULE>(moduleInstance), path, sizeof(path));
    return std::string(path, length < sizeof(path) ? length : 0);
}
#else
std::string ModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&ModulePath), &info) == 0 || info.dli_fname == nullptr) return {};
    return info.dli_fname;
}
#endif

std::string ModuleDirectory() { return std::string(DirectoryPart(ModulePath())); }

std::string ResolveFileName(std::string_view name) {
    return ModuleDirectory() + std::string(WithoutLeadingSeparator(name));
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
