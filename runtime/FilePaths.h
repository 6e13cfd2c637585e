// Placing script files next to the plug-in module, and the small text and path functions that go
// with it. Both '\' and '/' count as separators everywhere.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vormlek {

#if defined(_WIN32)
inline constexpr char kNativeSeparator = '\\';

// This module's instance handle (an HMODULE), stored by the library's load notification. It stays
// null in a program that links the runtime directly; the module path is then that program's path.
inline void* moduleInstance = nullptr;
#else
inline constexpr char kNativeSeparator = '/';
#endif

bool IsSeparator(char c) noexcept;

bool Equals(std::string_view a, std::string_view b) noexcept;
// Equality with ASCII letters compared without regard to case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b) noexcept;
// Both are false when the text is shorter than the prefix or suffix.
bool StartsWith(std::string_view text, std::string_view prefix) noexcept;
bool EndsWith(std::string_view text, std::string_view suffix) noexcept;
// False for an empty text.
bool EndsWithSeparator(std::string_view text) noexcept;

// The text with the native separator added at the end (or the front) unless one is already there;
// an empty text becomes a single separator.
std::string WithTrailingSeparator(std::string_view text);
std::string WithLeadingSeparator(std::string_view text);
// The text without its first character when that is a separator.
std::string_view WithoutLeadingSeparator(std::string_view text) noexcept;

// Position of the last separator, or -1 when there is none.
std::ptrdiff_t LastSeparator(std::string_view text) noexcept;
// Everything up to and including the last separator ("" when there is none), and everything after it.
std::string_view DirectoryPart(std::string_view text) noexcept;
std::string_view FileNamePart(std::string_view text) noexcept;
// From the last '.' of the whole text on, dot included; "" when there is no dot. The dot may lie in
// a directory part: callers pass plain file names.
std::string_view Extension(std::string_view text) noexcept;

// The full path of the loaded plug-in module ("" when it cannot be found), and its directory with
// the trailing separator ("" when the path has no separator).
std::string ModulePath();
std::string ModuleDirectory();

// A script file name placed in the module's directory; one leading separator is dropped.
std::string ResolveFileName(std::string_view name);

// Bare names of the entries of directory that are neither directories nor dot-entries, in the
// order the system lists them. The directory text must end with a separator; the entry name is
// appended to it as it is. A directory that cannot be opened gives no names.
std::vector<std::string> ListDirectory(const std::string& directory);

}  // namespace vormlek
