// A script object for unit tests: logs every hook it runs (base behaviour included) and counts its
// own destruction.
#pragma once

#include <string>
#include <vector>

#include "runtime/TVormlek.h"

class RecordingScript final : public TVormlek {
public:
    RecordingScript(std::vector<std::string>& hookLog, int& destroyedCount)
        : log(hookLog), destroyed(destroyedCount) {
        effectName = "Recorder";
        vendorName = "Tests";
        channelCount = 4;
        uniqueId = 0x54657374;
        DeclareSlider(1, 0.0, -12.0, 12.0, 0.1, {}, "", "dB", "first");
        DeclareSlider(7, 1.0, 0.0, 2.0, 1.0, {"a", "b", "c"}, "", "", "choice");
    }
    ~RecordingScript() override { ++destroyed; }

    void DoSlider() override { log.push_back("DoSlider"); }
    void DoBlock() override { log.push_back("DoBlock"); }
    void DoSample() override { log.push_back("DoSample"); }
    void DoReset() override {
        log.push_back("DoReset");
        TVormlek::DoReset();
    }
    void DoClose() override { log.push_back("DoClose"); }
    void DoSuspend() override { log.push_back("DoSuspend"); }
    void DoResume() override {
        log.push_back("DoResume");
        TVormlek::DoResume();
    }
    void DoInit() override { log.push_back("DoInit"); }
    void DoInitOnce() override {
        log.push_back("DoInitOnce");
        TVormlek::DoInitOnce();
    }
    void DoIdle() override {
        log.push_back("DoIdle");
        TVormlek::DoIdle();
    }
    void DoSerialize() override {
        log.push_back("DoSerialize");
        SerializeValue(sliderValues[1]);
    }

    std::vector<std::string>& log;
    int& destroyed;
};
