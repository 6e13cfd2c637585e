#include <windows.h>

#include <csignal>
#include <cstdlib>
#include <iterator>

#include "tools/vsthost/FaultReport.h"
#include "tools/vsthost/WindowsExceptions.h"

namespace vsthost {

namespace {

constexpr int kErrorExit = 2;
const char* volatile currentActivity = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

const char* Activity() noexcept {
    const char* activity = currentActivity;
    return activity != nullptr ? activity : "running";
}

// Only writes to the standard error handle and ends the process: the process may be in any state.
[[noreturn]] void EndReporting(const char* const* parts, int count) noexcept {
    SayOnStandardError(parts, count);
    TerminateProcess(GetCurrentProcess(), kErrorExit);
    std::_Exit(kErrorExit);
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* pointers) {
    const ExceptionText code = DescribeException(pointers->ExceptionRecord->ExceptionCode);
    const char* parts[] = {"vsthost: error: the plug-in crashed with exception ", code.text, " while ", Activity(),
                           "; nothing was written\n"};
    EndReporting(parts, static_cast<int>(std::size(parts)));
}

// abort(), also what the plug-in's C++ runtime calls when an exception cannot leave the plug-in.
void OnAbort(int) {
    const char* parts[] = {"vsthost: error: the plug-in aborted the process (abort) while ", Activity(),
                           "; nothing was written\n"};
    EndReporting(parts, static_cast<int>(std::size(parts)));
}

// A plug-in's exit() runs the handlers this program registered with the shared C runtime.
void OnExit() {
    if (currentActivity == nullptr) return;
    const char* parts[] = {"vsthost: error: the plug-in ended the process while ", Activity(), "; nothing was written\n"};
    EndReporting(parts, static_cast<int>(std::size(parts)));
}

}  // namespace

FaultReport::FaultReport(const char* activity) noexcept {
    currentActivity = activity;
    static const bool registered = std::atexit(OnExit) == 0;
    (void)registered;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    previousFilter = SetUnhandledExceptionFilter(OnCrash);
    std::signal(SIGABRT, OnAbort);
}

FaultReport::~FaultReport() {
    currentActivity = nullptr;
    SetUnhandledExceptionFilter(previousFilter);
    std::signal(SIGABRT, SIG_DFL);
}

}  // namespace vsthost
