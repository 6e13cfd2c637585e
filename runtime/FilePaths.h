// Placing script files next to the plug-in module. Both '\' and '/' count as separators.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vormlek {

#if defined(_WIN32)
inline constexpr char kNativeSeparator = '\\';
#else
inline constexpr char kNativeSeparator = '/';
#endif

bool IsSeparator(char c) noexcept;

// The text with the native separator appended unless it already ends with one (an empty text gets one).
std::string WithTrailingSeparator(std::string_view text);

// The full path of the loaded plug-in module, and its directory with the trailing separator
// ("" when the path has no separator).
std::string ModulePath();
std::string ModuleDirectory();

// A script file name placed in the module's directory; one leading separator is dropped.
std::string ResolveFileName(std::string_view name);

// Bare names of the entries of directory that are neither directories nor dot-entries, in the
// order the system lists them. The directory text must end with a separator; the entry name is
// appended to it as it is. A directory that cannot be opened gives no names.
std::vector<std::string> ListDirectory(const std::string& directory);

}  // namespace vormlek
