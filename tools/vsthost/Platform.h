// What differs between the Linux and the Windows build of vsthost at the level of the program:
// PlatformLinux.cpp and PlatformWindows.cpp. (Loading binaries differs in tools/driver, running a
// check in a child process in Isolation*.cpp, reporting a crash in FaultReport*.cpp and counting
// allocations in tools/support.)
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vsthost {

// Before anything is printed. Windows: lines end in "\n" alone, as on Linux, and no error dialogs.
void PrepareProcess();

// The command's arguments for another build of vsthost, given the plug-in paths as that build sees them.
using ArgumentsFor = std::function<std::vector<std::string>(const std::vector<std::string>& plugins)>;

// Plug-ins made for another system than this build runs on (Windows DLLs given to the Linux build)
// are run by the build made for them, under Wine: answers its exit code, with its output passed
// through. Nothing when the plug-ins are for this build. Throws HostError when that build, Wine or
// programs of that bitness are missing here, or the plug-ins are of different kinds.
std::optional<int> RunWithTheirBuild(const std::vector<std::string>& plugins, const ArgumentsFor& arguments);

// A file's path as the build that RunWithTheirBuild runs sees it (Wine's drive Z: for the Windows
// builds); the path itself where this build runs everything.
std::string PathForTheirBuild(const std::string& path);

}  // namespace vsthost
