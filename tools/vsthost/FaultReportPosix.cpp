#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "tools/vsthost/FaultReport.h"

namespace vsthost {

namespace {

constexpr int kErrorExit = 2;
const char* volatile currentActivity = nullptr;

constexpr struct {
    int number;
    const char* name;
} kFaults[] = {{SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"}, {SIGILL, "SIGILL"}, {SIGFPE, "SIGFPE"}, {SIGABRT, "SIGABRT"}};

// Only write(2) and _exit(2) here: the process may be in any state.
void Say(std::initializer_list<const char*> parts) noexcept {
    for (const char* part : parts)
        if (write(STDERR_FILENO, part, std::strlen(part)) < 0) return;
}

void OnFault(int number) {
    const char* name = "a signal";
    for (const auto& fault : kFaults)
        if (fault.number == number) name = fault.name;
    const char* activity = currentActivity;
    Say({"vsthost: error: the plug-in crashed with ", name, " while ", activity != nullptr ? activity : "running",
         "; nothing was written\n"});
    _exit(kErrorExit);
}

void OnExit() {
    const char* activity = currentActivity;
    if (activity == nullptr) return;
    Say({"vsthost: error: the plug-in ended the process while ", activity, "; nothing was written\n"});
    _exit(kErrorExit);
}

}  // namespace

FaultReport::FaultReport(const char* activity) noexcept {
    currentActivity = activity;
    static const bool registered = std::atexit(OnExit) == 0;
    (void)registered;
    struct sigaction action {};
    action.sa_handler = OnFault;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_ONSTACK;
    for (const auto& fault : kFaults) sigaction(fault.number, &action, nullptr);
}

FaultReport::~FaultReport() {
    currentActivity = nullptr;
    for (const auto& fault : kFaults) signal(fault.number, SIG_DFL);
}

}  // namespace vsthost
