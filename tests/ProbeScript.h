// A script object that shows the block loops at work: it counts its block and sample hooks, keeps
// what sampleValues held at each sample hook, and leaves 2 x value + channel for the loop to write.
#pragma once

#include <array>
#include <vector>

#include "runtime/TVormlek.h"

class ProbeScript final : public TVormlek {
public:
    using Frame = std::array<double, kMaxChannels>;

    explicit ProbeScript(int channels) { channelCount = channels; }

    void DoBlock() override { ++blocks; }
    void DoSample() override {
        seen.push_back(sampleValues);
        for (std::size_t c = 0; c < sampleValues.size(); ++c) {
            sampleValues[c] = 2.0 * sampleValues[c] + static_cast<double>(c);
        }
    }

    int blocks = 0;
    std::vector<Frame> seen;
};
