// State and audio that a damaged project file or a careless host could send: slider values out of
// range or not finite in a chunk, the plug-in's own chunk buffer handed back to it, and finite
// inputs whose trimmed value does not fit a float.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/ChunkFloats.h"
#include "tests/TrimPluginTest.h"

using namespace vsthost;

namespace {

constexpr int kChannels = 4;
constexpr int kChunkFloats = 65;
constexpr float kMarker = -1000.0f;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

// A full-size chunk: the marker, then the given leading slider-table values, then zeros.
std::vector<float> ChunkValues(std::initializer_list<float> leading) {
    std::vector<float> values(kChunkFloats, 0.0f);
    values[0] = kMarker;
    std::copy(leading.begin(), leading.end(), values.begin() + 1);
    return values;
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof(a)) == 0; }

class HostileState : public TrimPluginTest {
protected:
    void SetUp() override {
        TrimPluginTest::SetUp();
        plugin->start();
    }

    void ExpectParametersInRange() const {
        for (int p = 0; p < kChannels; ++p) {
            const float value = plugin->getParameter(p);
            ASSERT_TRUE(std::isfinite(value)) << "parameter " << p;
            ASSERT_GE(value, 0.0f) << "parameter " << p;
            ASSERT_LE(value, 1.0f) << "parameter " << p;
        }
    }

    // One frame of the same input on every channel; answers the outputs.
    std::array<float, kChannels> Trim(float input) {
        std::array<float, kChannels> in{input, input, input, input};
        std::array<float, kChannels> out{};
        float* inputs[kChannels] = {&in[0], &in[1], &in[2], &in[3]};
        float* outputs[kChannels] = {&out[0], &out[1], &out[2], &out[3]};
        plugin->processReplacing(inputs, outputs, 1);
        return out;
    }
};

TEST_F(HostileState, ChunkValuesOutsideTheRangeHoldAtItsEndsAndNonFiniteOnesAreIgnored) {
    plugin->setParameter(1, 0.75f);  // +6 dB, kept when the chunk's value is NaN
    plugin->setParameter(2, 0.25f);  // -6 dB
    EXPECT_EQ(plugin->setChunk(BytesOf(ChunkValues({800.0f, kNaN, 30.0f, -50.0f}))), 260);

    EXPECT_EQ(plugin->getParameter(0), 1.0f);
    EXPECT_EQ(plugin->getParameter(1), 0.75f);
    EXPECT_EQ(plugin->getParameter(2), 1.0f);
    EXPECT_EQ(plugin->getParameter(3), 0.0f);
    const char* displays[] = {"12.00", "6.00", "12.00", "-12.00"};
    for (int p = 0; p < kChannels; ++p) EXPECT_EQ(plugin->parameterDisplay(p), displays[p]) << p;

    const double decibels[] = {12.0, 6.0, 12.0, -12.0};
    const auto out = Trim(0.5f);
    for (int c = 0; c < kChannels; ++c) {
        EXPECT_EQ(out[c], static_cast<float>(0.5 * std::pow(10.0, decibels[c] / 20.0))) << "channel " << c;
    }

    const std::vector<float> saved = FloatsOf(plugin->getChunk());
    ASSERT_EQ(saved.size(), 65u);
    EXPECT_EQ(saved[1], 12.0f);
    EXPECT_EQ(saved[2], 6.0f);
    EXPECT_EQ(saved[3], 12.0f);
    EXPECT_EQ(saved[4], -12.0f);

    // Infinities are not finite either; the largest floats are held like any other.
    EXPECT_EQ(plugin->setChunk(BytesOf(ChunkValues({kInfinity, -kInfinity, 3.0e38f, -3.0e38f}))), 260);
    EXPECT_EQ(FloatsOf(plugin->getChunk()), ChunkValues({12.0f, 6.0f, 12.0f, -12.0f}));
}

TEST_F(HostileState, EntriesBeyondTheSlidersKeepFiniteValuesAndIgnoreOthers) {
    std::vector<float> values = ChunkValues({});
    values[10] = kNaN;
    values[20] = 7.5f;
    values[30] = -kInfinity;
    values[64] = 5000.0f;
    EXPECT_EQ(plugin->setChunk(BytesOf(values)), 260);
    values[10] = 0.0f;
    values[30] = 0.0f;
    EXPECT_EQ(FloatsOf(plugin->getChunk()), values) << "nothing but the sliders has a range";
}

TEST_F(HostileState, EveryValueInsideTheRangeRestoresBitForBit) {
    const float values[] = {-12.0f, 12.0f, -0.0f, 0.0f, 1e-40f, -1e-40f, 3.14159274f, -11.9999990f,
                            11.9999990f, std::nextafter(-12.0f, 0.0f), 0.1f, -7.77f};
    for (std::size_t first = 0; first < std::size(values); first += kChannels) {
        std::vector<float> chunk = ChunkValues({});
        for (int k = 0; k < kChannels; ++k) chunk[1 + k] = values[(first + k) % std::size(values)];
        chunk[40] = -123456.0f;  // not a slider: any finite value comes back too
        const Bytes bytes = BytesOf(chunk);
        ASSERT_EQ(plugin->setChunk(bytes), 260);
        const std::vector<float> saved = FloatsOf(plugin->getChunk());
        ASSERT_EQ(saved.size(), chunk.size());
        for (std::size_t i = 0; i < chunk.size(); ++i) EXPECT_TRUE(SameBits(saved[i], chunk[i])) << "value " << i;
    }
}

TEST_F(HostileState, AfterAnyChunkParametersStayInRangeAndFiniteInputGivesFiniteOutput) {
    std::mt19937 random(12);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 3000; ++round) {
        Bytes chunk(4 + 4 * static_cast<std::size_t>(round % 70));
        for (auto& b : chunk) b = static_cast<std::uint8_t>(byte(random));
        std::memcpy(chunk.data(), &kMarker, sizeof(kMarker));
        ASSERT_EQ(plugin->setChunk(chunk), static_cast<VstIntPtr>(chunk.size()));
        ExpectParametersInRange();
        for (float sample : Trim(std::numeric_limits<float>::max())) ASSERT_TRUE(std::isfinite(sample)) << round;
    }
}

TEST_F(HostileState, ThePluginsOwnChunkBufferHandedBackRestoresIt) {
    plugin->setParameter(2, 0.75f);
    void* own = nullptr;
    const auto size = static_cast<VstInt32>(plugin->dispatch(effGetChunk, 0, 0, &own));
    ASSERT_EQ(size, 260);
    ASSERT_NE(own, nullptr);

    plugin->setParameter(2, 0.0f);
    EXPECT_EQ(plugin->dispatch(effSetChunk, 0, size, own), 260);
    EXPECT_EQ(plugin->getParameter(2), 0.75f);

    // Part of it, as a host that keeps only the leading values might.
    void* again = nullptr;
    ASSERT_EQ(plugin->dispatch(effGetChunk, 1, 0, &again), 260);
    plugin->setParameter(0, 1.0f);
    plugin->setParameter(2, 0.5f);
    EXPECT_EQ(plugin->dispatch(effSetChunk, 1, 8, again), 8);
    EXPECT_EQ(plugin->getParameter(0), 0.5f) << "slider 1 restored";
    EXPECT_EQ(plugin->getParameter(2), 0.5f) << "slider 3 was not in the 8 bytes";
}

// At +12 dB a float above about 8.6e37 has a finite product that no float can hold.
TEST_F(HostileState, ProductsTooLargeForAFloatComeOutAsZeroOnEveryPath) {
    for (int p = 0; p < kChannels; ++p) plugin->setParameter(p, 1.0f);
    const float maximum = std::numeric_limits<float>::max();
    const std::vector<float> values = {1e38f, -1e38f, maximum, -maximum, 8.6e37f, -8.5e37f, 1e37f, 0.5f};

    std::vector<std::vector<float>> separateIn(kChannels, values), separateOut(kChannels, values);
    std::vector<std::vector<float>> inPlace(kChannels, values), rotated(kChannels, values);
    auto pointers = [](std::vector<std::vector<float>>& channels) {
        std::vector<float*> result;
        for (auto& channel : channels) result.push_back(channel.data());
        return result;
    };
    const auto frames = static_cast<VstInt32>(values.size());
    plugin->processReplacing(pointers(separateIn).data(), pointers(separateOut).data(), frames);
    plugin->processReplacing(pointers(inPlace).data(), pointers(inPlace).data(), frames);
    // Each output on the next channel's input: the frame-by-frame path.
    std::vector<float*> rotatedIn = pointers(rotated);
    std::vector<float*> rotatedOut = {rotatedIn[1], rotatedIn[2], rotatedIn[3], rotatedIn[0]};
    plugin->processReplacing(rotatedIn.data(), rotatedOut.data(), frames);

    const double gain = std::pow(10.0, 12.0 / 20.0);
    for (int c = 0; c < kChannels; ++c) {
        for (std::size_t j = 0; j < values.size(); ++j) {
            const float narrowed = static_cast<float>(static_cast<double>(values[j]) * gain);
            const float expected = std::isfinite(narrowed) ? narrowed : 0.0f;
            EXPECT_TRUE(SameBits(separateOut[c][j], expected)) << values[j] << " gave " << separateOut[c][j];
            EXPECT_TRUE(SameBits(inPlace[c][j], expected)) << "in place, " << values[j];
            EXPECT_TRUE(SameBits(rotated[(c + 1) % kChannels][j], expected)) << "frame by frame, " << values[j];
        }
    }
    EXPECT_EQ(separateOut[0][5], static_cast<float>(-8.5e37f * gain)) << "a product that fits comes through";
}

}  // namespace
