// Runs a piece of work in a child process, so a plug-in that crashes or hangs in it fails that work
// and not the whole run.
#pragma once

#include <functional>
#include <string>

namespace vsthost {

struct IsolatedResult {
    bool completed = false;  // the work returned and its text arrived
    std::string text;        // what the work answered, or why it did not complete
};

// The child starts from a copy of this process and ends with _exit, so exit handlers of loaded
// plug-ins do not run twice.
IsolatedResult RunIsolated(const std::function<std::string()>& work, int timeoutSeconds);

}  // namespace vsthost
