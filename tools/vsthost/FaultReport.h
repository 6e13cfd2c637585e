// While info, render or bench runs a plug-in's code in this process, a crash of the plug-in or an
// exit it calls is reported as an error with exit code 2, instead of ending the process with a
// signal or the plug-in's own status and no word. (validate runs plug-ins in child processes and
// judges their ends itself.)
#pragma once

namespace vsthost {

class FaultReport {
public:
    explicit FaultReport(const char* activity) noexcept;  // e.g. "rendering"; a static text
    ~FaultReport();
    FaultReport(const FaultReport&) = delete;
    FaultReport& operator=(const FaultReport&) = delete;
};

}  // namespace vsthost
