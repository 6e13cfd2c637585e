// Audio through the built plug-in, driven as a host drives it: gains per channel, exactness at
// 0 dB, non-finite products, buffer layouts, both precisions, odd frame counts, the deprecated
// accumulating entry and the host calls a block makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "tests/TrimPluginTest.h"
#include "tools/support/ChannelBuffers.h"
#include "tools/support/Precision.h"

using namespace vsthost;

namespace {

constexpr int kChannels = 4;

// Four channels of one sample type, each its own buffer.
template <typename Sample>
struct Channels : ChannelBuffers<Sample> {
    explicit Channels(VstInt32 frames, Sample fill = Sample(0)) : ChannelBuffers<Sample>(kChannels, frames, fill) {}
};

template <typename Sample>
Channels<Sample> RandomChannels(VstInt32 frames, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> level(-1.5, 1.5);
    Channels<Sample> channels(frames);
    for (int c = 0; c < kChannels; ++c) {
        for (VstInt32 j = 0; j < frames; ++j) channels.channel(c)[j] = static_cast<Sample>(level(random));
    }
    return channels;
}

template <typename Sample>
bool SameBits(Sample a, Sample b) {
    return std::memcmp(&a, &b, sizeof(Sample)) == 0;
}

class Audio : public TrimPluginTest {
protected:
    void SetUp() override {
        TrimPluginTest::SetUp();
        plugin->start();
    }

    template <typename Sample>
    void Process(Sample** inputs, Sample** outputs, VstInt32 frames) {
        ProcessReplacing(plugin->aeffect(), inputs, outputs, frames);
    }

    // Runs the block out of place; answers the outputs.
    template <typename Sample>
    Channels<Sample> Run(Channels<Sample> in) {
        const VstInt32 frames = in.frames();
        Channels<Sample> out(frames, Sample(-99));
        Process(in.pointers(), out.pointers(), frames);
        return out;
    }

    // Runs the same values through all four channels at once; answers the outputs.
    template <typename Sample>
    Channels<Sample> RunOnEveryChannel(const std::vector<Sample>& values) {
        Channels<Sample> in(static_cast<VstInt32>(values.size()));
        for (int c = 0; c < kChannels; ++c) std::copy(values.begin(), values.end(), in.channel(c));
        return Run(in);
    }

    template <typename Sample>
    void ExpectLayoutsAgree() {
        const auto in = RandomChannels<Sample>(700, 7);
        const auto separate = Run(in);

        auto inPlace = in;
        Process(inPlace.pointers(), inPlace.pointers(), 700);
        for (int c = 0; c < kChannels; ++c) EXPECT_EQ(inPlace[c], separate[c]) << "in place " << c;

        // Each output is the next channel's input: every frame still reads all inputs first.
        auto rotated = in;
        Sample** inputs = rotated.pointers();
        Sample* outputs[] = {inputs[1], inputs[2], inputs[3], inputs[0]};
        Process(inputs, outputs, 700);
        for (int c = 0; c < kChannels; ++c) {
            EXPECT_EQ(rotated[(c + 1) % kChannels], separate[c]) << "rotated " << c;
        }
    }

};

// Normalised parameter values whose slider values are exact: -12, -6, +6 and +12 dB.
constexpr float kNormalized[kChannels] = {0.0f, 0.25f, 0.75f, 1.0f};
constexpr double kDecibels[kChannels] = {-12.0, -6.0, 6.0, 12.0};

TEST_F(Audio, EachOutputIsItsOwnInputTimesItsSliderGain) {
    for (int c = 0; c < kChannels; ++c) plugin->setParameter(c, kNormalized[c]);
    const auto floats = RandomChannels<float>(300, 1);
    const auto doubles = RandomChannels<double>(300, 2);
    const auto floatOut = Run(floats);
    const auto doubleOut = Run(doubles);
    for (int c = 0; c < kChannels; ++c) {
        const double gain = std::pow(10.0, kDecibels[c] / 20.0);
        for (std::size_t j = 0; j < 300; ++j) {
            ASSERT_EQ(floatOut[c][j], static_cast<float>(floats[c][j] * gain)) << "channel " << c;
            ASSERT_EQ(doubleOut[c][j], doubles[c][j] * gain) << "channel " << c;
        }
    }
    // The gains themselves, independently of how they are computed.
    Channels<double> ones(1, 1.0);
    const auto gains = Run(ones);
    EXPECT_NEAR(gains[0][0], 0.2511886, 1e-7);
    EXPECT_NEAR(gains[1][0], 0.5011872, 1e-7);
    EXPECT_NEAR(gains[2][0], 1.9952623, 1e-7);
    EXPECT_NEAR(gains[3][0], 3.9810717, 1e-7);
}

TEST_F(Audio, ChannelsNeverMix) {
    plugin->setParameter(1, 1.0f);
    for (int lit = 0; lit < kChannels; ++lit) {
        Channels<float> in(64);
        std::fill_n(in.channel(lit), 64, 0.5f);
        const auto out = Run(in);
        for (int c = 0; c < kChannels; ++c) {
            for (float value : out[c]) ASSERT_EQ(value == 0.0f, c != lit) << "lit " << lit << ", channel " << c;
        }
    }
}

TEST_F(Audio, ZeroDecibelsGivesBackExactlyTheInputDenormalsIncluded) {
    using FloatLimits = std::numeric_limits<float>;
    using DoubleLimits = std::numeric_limits<double>;
    const std::vector<float> floatValues = {1e-40f, -1e-40f, FloatLimits::denorm_min(), -0.0f, 0.1f,
                                            FloatLimits::max(), -FloatLimits::max(), FloatLimits::min()};
    const std::vector<double> doubleValues = {1e-310, DoubleLimits::denorm_min(), -0.0, 0.1,
                                              DoubleLimits::max(), -DoubleLimits::min(), 1e-40, 3.0};
    const auto floatOut = RunOnEveryChannel(floatValues);
    const auto doubleOut = RunOnEveryChannel(doubleValues);
    for (int c = 0; c < kChannels; ++c) {
        for (std::size_t j = 0; j < floatValues.size(); ++j) {
            EXPECT_TRUE(SameBits(floatOut[c][j], floatValues[j])) << floatValues[j] << " became " << floatOut[c][j];
            EXPECT_TRUE(SameBits(doubleOut[c][j], doubleValues[j])) << doubleValues[j] << " became "
                                                                    << doubleOut[c][j];
        }
    }
}

TEST_F(Audio, DenormalFloatInputIsScaledNotFlushed) {
    plugin->setParameter(0, 0.75f);  // +6 dB
    Channels<float> in(1, 1e-40f);
    const auto out = Run(in);
    const float expected = static_cast<float>(static_cast<double>(1e-40f) * std::pow(10.0, 6.0 / 20.0));
    ASSERT_NE(expected, 0.0f);
    EXPECT_EQ(out[0][0], expected);
}

TEST_F(Audio, NonFiniteProductsComeOutAsZero) {
    plugin->setParameter(3, 1.0f);  // +12 dB: the largest doubles overflow
    const std::vector<float> floatValues = {std::nanf(""), -std::nanf(""), std::numeric_limits<float>::infinity(),
                                            -std::numeric_limits<float>::infinity()};
    const std::vector<double> doubleValues = {std::nan(""), std::numeric_limits<double>::infinity(),
                                              -std::numeric_limits<double>::infinity(), 1e308};
    const auto floatOut = RunOnEveryChannel(floatValues);
    const auto doubleOut = RunOnEveryChannel(doubleValues);
    for (int c = 0; c < kChannels; ++c) {
        for (std::size_t j = 0; j < 4; ++j) {
            EXPECT_TRUE(SameBits(floatOut[c][j], 0.0f)) << "channel " << c << " frame " << j;
            const bool overflowsOnlyHere = c != 3 && j == 3;
            if (!overflowsOnlyHere) {
                EXPECT_TRUE(SameBits(doubleOut[c][j], 0.0)) << "channel " << c << " frame " << j;
            }
        }
    }
    EXPECT_EQ(doubleOut[0][3], 1e308);
}

TEST_F(Audio, InPlaceAndAliasedBuffersGiveWhatSeparateBuffersGive) {
    for (int c = 0; c < kChannels; ++c) plugin->setParameter(c, kNormalized[c]);
    ExpectLayoutsAgree<float>();
    ExpectLayoutsAgree<double>();
}

TEST_F(Audio, FloatAndDoublePathsAgree) {
    for (int c = 0; c < kChannels; ++c) plugin->setParameter(c, 0.1f + 0.27f * static_cast<float>(c));
    const auto floats = RandomChannels<float>(513, 3);
    Channels<double> doubles(513);
    for (int c = 0; c < kChannels; ++c) std::copy(floats[c].begin(), floats[c].end(), doubles.channel(c));
    const auto floatOut = Run(floats);
    const auto doubleOut = Run(doubles);
    for (int c = 0; c < kChannels; ++c) {
        for (std::size_t j = 0; j < 513; ++j) ASSERT_EQ(static_cast<float>(doubleOut[c][j]), floatOut[c][j]);
    }
}

TEST_F(Audio, EmptyAndNegativeBlocksTouchNoBufferButStillRunTheBlockHook) {
    for (VstInt32 frames : {0, -1, -512}) {
        Channels<float> in(4, 1.0f);
        Channels<float> out(4, -7.0f);
        Channels<double> doubleOut(4, -7.0);
        Channels<double> doubleIn(4, 1.0);
        host.clear();
        plugin->processReplacing(in.pointers(), out.pointers(), frames);
        plugin->processDoubleReplacing(doubleIn.pointers(), doubleOut.pointers(), frames);
        EXPECT_EQ(host.count(audioMasterGetTime), 8u) << frames << " frames";  // four queries per block
        for (int c = 0; c < kChannels; ++c) {
            EXPECT_EQ(out[c], std::vector<float>(4, -7.0f));
            EXPECT_EQ(doubleOut[c], std::vector<double>(4, -7.0));
        }
    }
    // A host with nothing to process may pass no buffers at all; a block without buffer arrays
    // processes no frame, whatever its length, and still runs the block hook.
    Channels<float> out(4, -7.0f);
    host.clear();
    plugin->processReplacing(nullptr, nullptr, 0);
    plugin->processDoubleReplacing(nullptr, nullptr, 0);
    plugin->processReplacing(nullptr, out.pointers(), 4);
    plugin->processReplacing(out.pointers(), nullptr, 4);
    plugin->processDoubleReplacing(nullptr, nullptr, 4);
    EXPECT_EQ(host.count(audioMasterGetTime), 20u);
    for (int c = 0; c < kChannels; ++c) EXPECT_EQ(out[c], std::vector<float>(4, -7.0f));
}

TEST_F(Audio, DeprecatedAccumulatingProcessTouchesNothing) {
    Channels<float> in(16, 1.0f);
    Channels<float> out(16, 0.25f);
    host.clear();
    plugin->aeffect()->process(plugin->aeffect(), in.pointers(), out.pointers(), 16);
    EXPECT_TRUE(host.calls.empty()) << "no hook may run, so no time query goes out";
    for (int c = 0; c < kChannels; ++c) EXPECT_EQ(out[c], std::vector<float>(16, 0.25f));
}

// What every block asks of the host: the four time queries in order, nothing else.
void ExpectOnlyTheTimeQueries(const ScriptedHost& host, AEffect* aeffect, int blocks) {
    const VstIntPtr filters[] = {kVstTempoValid | kVstTimeSigValid, kVstTransportPlaying, kVstTransportRecording,
                                 kVstPpqPosValid};
    ASSERT_EQ(host.calls.size(), static_cast<std::size_t>(4 * blocks));
    for (std::size_t i = 0; i < host.calls.size(); ++i) {
        EXPECT_EQ(host.calls[i].opcode, audioMasterGetTime) << "call " << i;
        EXPECT_EQ(host.calls[i].value, filters[i % 4]) << "call " << i;
        EXPECT_EQ(host.calls[i].aeffect, aeffect);
    }
}

TEST_F(Audio, EveryBlockAsksTheHostForTimeInformationAndNothingElse) {
    VstTimeInfo info{};
    info.tempo = 132.0;
    info.ppqPos = 17.5;
    info.timeSigNumerator = 7;
    info.timeSigDenominator = 8;
    info.flags = kVstTransportPlaying | kVstTransportRecording | kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid;
    for (VstTimeInfo* answer : {static_cast<VstTimeInfo*>(nullptr), &info}) {
        SCOPED_TRACE(answer == nullptr ? "host gives no time information" : "host gives time information");
        host.timeInfo = answer;
        auto floats = RandomChannels<float>(64, 5);
        auto doubles = RandomChannels<double>(64, 6);
        host.clear();
        plugin->processReplacing(floats.pointers(), floats.pointers(), 64);
        plugin->processDoubleReplacing(doubles.pointers(), doubles.pointers(), 64);
        ExpectOnlyTheTimeQueries(host, plugin->aeffect(), 2);
    }
}

}  // namespace
