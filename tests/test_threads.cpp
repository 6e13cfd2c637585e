// Host threads at once, as hosts run them: audio on one thread while others set and read parameters
// and ask for their display texts. Every value seen must be one the threads could have caused, and
// two threads setting different parameters must leave every channel on its latest gain. The tsan
// build runs these under the thread sanitizer.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/TrimPluginTest.h"

using namespace vsthost;

namespace {

constexpr int kChannels = 4;
constexpr std::array<float, 2> kSettings{0.25f, 0.75f};  // -6 and +6 dB
constexpr float kInput = 0.5f;

class Threads : public TrimPluginTest {
protected:
    void SetUp() override {
        TrimPluginTest::SetUp();
        plugin->start();
        // What one thread alone sees for each setting: the normalised value read back, the
        // display and the output for kInput (the same on every channel).
        for (std::size_t s = 0; s < kSettings.size(); ++s) {
            plugin->setParameter(0, kSettings[s]);
            readBack[s] = plugin->getParameter(0);
            display[s] = plugin->parameterDisplay(0);
            output[s] = ProcessConstant(kInput, 1)[0];
        }
        ASSERT_NE(output[0], output[1]);
    }

    bool IsOutputOfASetting(float value) const { return value == output[0] || value == output[1]; }

    std::array<float, 2> readBack{};
    std::array<std::string, 2> display;
    std::array<float, 2> output{};
};

TEST_F(Threads, AudioParametersAndDisplaysOnThreeThreads) {
    constexpr int kChanges = 20000;
    constexpr VstInt32 kFrames = 64;
    for (VstInt32 p = 0; p < kChannels; ++p) plugin->setParameter(p, kSettings[0]);
    std::atomic<bool> changing{true};
    std::atomic<int> badReadBacks{0}, badDisplays{0}, badFloats{0}, badDoubles{0};

    std::thread audio([&] {
        std::vector<float> in(kFrames, kInput), out(kChannels * kFrames);
        std::vector<double> inDouble(kFrames, kInput), outDouble(kChannels * kFrames);
        float* inputs[] = {in.data(), in.data(), in.data(), in.data()};
        float* outputs[] = {&out[0], &out[kFrames], &out[2 * kFrames], &out[3 * kFrames]};
        double* inputsDouble[] = {inDouble.data(), inDouble.data(), inDouble.data(), inDouble.data()};
        double* outputsDouble[] = {&outDouble[0], &outDouble[kFrames], &outDouble[2 * kFrames],
                                   &outDouble[3 * kFrames]};
        while (changing.load()) {
            plugin->processReplacing(inputs, outputs, kFrames);
            for (float value : out) badFloats += IsOutputOfASetting(value) ? 0 : 1;
            plugin->processDoubleReplacing(inputsDouble, outputsDouble, kFrames);
            for (double value : outDouble) badDoubles += IsOutputOfASetting(static_cast<float>(value)) ? 0 : 1;
        }
    });
    std::thread texts([&] {
        while (changing.load()) {
            for (VstInt32 p = 0; p < kChannels; ++p) {
                const std::string text = plugin->parameterDisplay(p);
                badDisplays += text == display[0] || text == display[1] ? 0 : 1;
                badDisplays += plugin->parameterName(p) == "level mono " + std::to_string(p + 1) ? 0 : 1;
            }
        }
    });
    for (int change = 0; change < kChanges; ++change) {
        const VstInt32 p = change % kChannels;
        plugin->setParameter(p, kSettings[static_cast<std::size_t>(change / kChannels) % 2]);
        const float value = plugin->getParameter((p + 1) % kChannels);
        badReadBacks += value == readBack[0] || value == readBack[1] ? 0 : 1;
    }
    changing = false;
    audio.join();
    texts.join();

    EXPECT_EQ(badReadBacks.load(), 0);
    EXPECT_EQ(badDisplays.load(), 0);
    EXPECT_EQ(badFloats.load(), 0);
    EXPECT_EQ(badDoubles.load(), 0);
}

TEST_F(Threads, TwoThreadsSettingDifferentParametersLeaveNoStaleGain) {
    constexpr int kRounds = 50000;
    std::atomic<int> round{-1};
    std::atomic<int> finished{0};
    auto setter = [&](VstInt32 parameter) {
        for (int r = 0; r < kRounds; ++r) {
            while (round.load() < r) std::this_thread::yield();
            plugin->setParameter(parameter, kSettings[static_cast<std::size_t>(r % 2)]);
            ++finished;
        }
    };
    std::thread first(setter, 0);
    std::thread second(setter, 1);
    int staleRounds = 0;
    for (int r = 0; r < kRounds; ++r) {
        round = r;
        while (finished.load() < 2 * (r + 1)) std::this_thread::yield();
        const auto out = ProcessConstant(kInput, 1);
        const float expected = output[static_cast<std::size_t>(r % 2)];
        staleRounds += out[0] == expected && out[1] == expected ? 0 : 1;
    }
    first.join();
    second.join();
    EXPECT_EQ(staleRounds, 0) << "rounds of " << kRounds << " that left a channel on the other gain";
}

}  // namespace
