// The saved state, the one program and the parameters as a host sees them through the AEffect.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "tests/ChunkFloats.h"
#include "tools/driver/Plugin.h"
#include "tools/support/ChannelBuffers.h"
#include "tools/support/Precision.h"

using namespace vsthost;

namespace {

constexpr int kChannels = 4;
constexpr int kFrames = 64;
constexpr float kMarker = -1000.0f;

Bytes ChunkOf(std::initializer_list<float> values) { return BytesOf(std::vector<float>(values)); }

std::array<float, kChannels> Parameters(const Plugin& plugin) {
    std::array<float, kChannels> values{};
    for (int p = 0; p < kChannels; ++p) values[p] = plugin.getParameter(p);
    return values;
}

void SetParameters(const Plugin& plugin, const std::array<float, kChannels>& values) {
    for (int p = 0; p < kChannels; ++p) plugin.setParameter(p, values[p]);
}

template <typename Sample>
ChannelBuffers<Sample> TestSignal() {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> amplitude(-1.0, 1.0);
    ChannelBuffers<Sample> signal(kChannels, kFrames);
    for (int c = 0; c < kChannels; ++c) {
        for (int j = 0; j < kFrames; ++j) signal.channel(c)[j] = static_cast<Sample>(amplitude(random));
    }
    return signal;
}

template <typename Sample>
ChannelBuffers<Sample> Process(const Plugin& plugin, ChannelBuffers<Sample> inputs) {
    ChannelBuffers<Sample> outputs(kChannels, kFrames, Sample(99));
    ProcessReplacing(plugin.aeffect(), inputs.pointers(), outputs.pointers(), kFrames);
    return outputs;
}

class State : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(library.load(TRIM_PLUGIN_PATH)) << library.error(); }

    std::unique_ptr<Plugin> Started() {
        auto plugin = std::make_unique<Plugin>(host, library.entry());
        if (plugin->valid()) plugin->start();
        return plugin;
    }

    // The host calls one load makes: DoInit is the only hook of the trim effect that asks for the tempo.
    std::size_t TempoQueriesDuring(const Plugin& plugin, const Bytes& chunk) {
        host.clear();
        EXPECT_EQ(plugin.setChunk(chunk), static_cast<VstIntPtr>(chunk.size()));
        return host.count(audioMasterGetTime);
    }

    PluginLibrary library;
    ScriptedHost host;
};

TEST_F(State, SaveGivesTheMarkerThenTheSliderTable) {
    auto plugin = Started();
    ASSERT_TRUE(plugin->valid());
    SetParameters(*plugin, {0.375f, 0.5f, 0.75f, 1.0f});

    const Bytes chunk = plugin->getChunk();
    ASSERT_EQ(chunk.size(), 260u);
    EXPECT_EQ(Bytes(chunk.begin(), chunk.begin() + 4), (Bytes{0x00, 0x00, 0x7A, 0xC4}));
    std::vector<float> expected(65, 0.0f);
    expected[0] = kMarker;
    expected[1] = -3.0f;
    expected[2] = 0.0f;
    expected[3] = 6.0f;
    expected[4] = 12.0f;
    Bytes expectedBytes(260);
    std::memcpy(expectedBytes.data(), expected.data(), expectedBytes.size());
    EXPECT_EQ(chunk, expectedBytes);

    EXPECT_EQ(plugin->getChunk(true), chunk) << "the preset flag changes nothing";
}

TEST_F(State, GetChunkWithoutAPlaceForThePointerAnswersZero) {
    auto plugin = Started();
    ASSERT_TRUE(plugin->valid());
    EXPECT_EQ(plugin->dispatch(effGetChunk, 0, 0, nullptr), 0);
    EXPECT_EQ(plugin->dispatch(effGetChunk, 1, 0, nullptr), 0);
    EXPECT_EQ(plugin->getChunk().size(), 260u);
}

TEST_F(State, LoadRestoresTheLeadingValuesAndIgnoresTheRest) {
    auto source = Started();
    ASSERT_TRUE(source->valid());
    SetParameters(*source, {0.375f, 0.5f, 0.75f, 1.0f});
    const Bytes saved = source->getChunk();

    auto fresh = Started();
    ASSERT_TRUE(fresh->valid());
    EXPECT_EQ(fresh->setChunk(saved, true), 260);
    EXPECT_EQ(Parameters(*fresh), (std::array<float, 4>{0.375f, 0.5f, 0.75f, 1.0f}));

    const std::array<float, 4> before{0.75f, 0.75f, 0.75f, 0.75f};

    SetParameters(*fresh, before);
    Bytes tenBytes = ChunkOf({kMarker, -6.0f, 0.0f});
    tenBytes.resize(10);
    EXPECT_EQ(fresh->setChunk(tenBytes), 10);
    EXPECT_EQ(Parameters(*fresh), (std::array<float, 4>{0.25f, 0.75f, 0.75f, 0.75f})) << "slider 1 only";

    for (const Bytes& noValues : {ChunkOf({kMarker}), Bytes{0x00, 0x00, 0x7A, 0xC4, 0x00, 0x00, 0x40}}) {
        SetParameters(*fresh, before);
        EXPECT_EQ(fresh->setChunk(noValues), static_cast<VstIntPtr>(noValues.size()));
        EXPECT_EQ(Parameters(*fresh), before) << noValues.size() << " bytes carry no slider value";
    }

    std::vector<float> longer(80, 3.0f);
    longer[0] = kMarker;
    longer[1] = 12.0f;
    Bytes longerBytes(longer.size() * sizeof(float));
    std::memcpy(longerBytes.data(), longer.data(), longerBytes.size());
    EXPECT_EQ(fresh->setChunk(longerBytes), static_cast<VstIntPtr>(longerBytes.size()));
    EXPECT_EQ(Parameters(*fresh), (std::array<float, 4>{1.0f, 0.625f, 0.625f, 0.625f}));
    const Bytes resaved = fresh->getChunk();
    ASSERT_EQ(resaved.size(), 260u) << "values beyond the slider table are not kept";
    EXPECT_TRUE(std::equal(resaved.begin(), resaved.end(), longerBytes.begin()));
}

TEST_F(State, InitRunsOnlyBeforeTheFirstAcceptedLoad) {
    auto plugin = Started();
    ASSERT_TRUE(plugin->valid());
    EXPECT_EQ(TempoQueriesDuring(*plugin, ChunkOf({0.0f, 5.0f})), 0u) << "a rejected chunk runs no hook";
    EXPECT_EQ(TempoQueriesDuring(*plugin, ChunkOf({kMarker, 5.0f})), 1u);
    EXPECT_EQ(TempoQueriesDuring(*plugin, ChunkOf({kMarker, 5.0f})), 0u);
    plugin->suspend();
    plugin->resume();
    EXPECT_EQ(TempoQueriesDuring(*plugin, ChunkOf({kMarker})), 0u) << "a resume does not reset the load count";
}

TEST_F(State, SliderHookRunsAfterEveryAcceptedLoad) {
    // An open zeroes the gains until the slider hook recomputes them, so the output shows whether it ran.
    auto plugin = std::make_unique<Plugin>(host, library.entry());
    ASSERT_TRUE(plugin->valid());
    const ChannelBuffers<float> input = TestSignal<float>();
    const ChannelBuffers<float> silence(kChannels, kFrames, 0.0f);

    plugin->open();
    plugin->setChunk(ChunkOf({1.0f}));
    EXPECT_EQ(Process(*plugin, input), silence) << "a rejected chunk leaves the gains alone";

    for (int load = 1; load <= 2; ++load) {
        plugin->open();
        plugin->setChunk(ChunkOf({kMarker}));
        EXPECT_EQ(Process(*plugin, input), input) << "load " << load << ": all sliders at 0 dB";
    }
}

TEST_F(State, MalformedChunksAreAnsweredAndChangeNothing) {
    auto plugin = Started();
    ASSERT_TRUE(plugin->valid());
    SetParameters(*plugin, {0.25f, 0.5f, 0.625f, 1.0f});
    const auto parameters = Parameters(*plugin);
    const Bytes saved = plugin->getChunk();
    const ChannelBuffers<float> input = TestSignal<float>();
    const ChannelBuffers<float> output = Process(*plugin, input);

    Bytes data(16, 0);
    EXPECT_EQ(plugin->dispatch(effSetChunk, 0, 260, nullptr), 260);
    EXPECT_EQ(plugin->dispatch(effSetChunk, 0, 0, data.data()), 0);
    EXPECT_EQ(plugin->dispatch(effSetChunk, 0, -4, data.data()), -4);
    EXPECT_EQ(plugin->dispatch(effSetChunk, 0, -260, nullptr), -260);
    Bytes wrongMarker = saved;
    wrongMarker[3] = 0x44;  // +1000 instead of -1000
    EXPECT_EQ(plugin->setChunk(wrongMarker), 260);

    // Random bytes of every length; the host's buffer is exactly that long, so the sanitizer build
    // catches any read beyond it.
    std::mt19937 random(1);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t length = 0; length <= 4100; ++length) {
        Bytes chunk(length);
        for (auto& b : chunk) b = static_cast<std::uint8_t>(byte(random));
        if (length >= 4 && FloatsOf(chunk)[0] == kMarker) chunk[0] ^= 1;
        ASSERT_EQ(plugin->setChunk(chunk), static_cast<VstIntPtr>(length));
        ASSERT_EQ(plugin->getChunk(), saved) << "after " << length << " random bytes";
    }
    EXPECT_EQ(Parameters(*plugin), parameters);
    EXPECT_EQ(Process(*plugin, input), output);

    // With the marker in front, random values are taken, but nothing is read beyond the buffer.
    for (std::size_t length = 4; length <= 4100; ++length) {
        Bytes chunk(length);
        for (auto& b : chunk) b = static_cast<std::uint8_t>(byte(random));
        std::memcpy(chunk.data(), &kMarker, sizeof(kMarker));
        ASSERT_EQ(plugin->setChunk(chunk), static_cast<VstIntPtr>(length));
    }
}

TEST_F(State, NonFiniteValuesLeaveTheirSlidersAsTheyWere) {
    auto plugin = Started();
    ASSERT_TRUE(plugin->valid());
    const std::array<float, kChannels> before{0.25f, 0.75f, 1.0f, 0.5f};
    SetParameters(*plugin, before);
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    const Bytes chunk = ChunkOf({kMarker, std::numeric_limits<float>::quiet_NaN(), kInfinity, -kInfinity, 6.0f});
    EXPECT_EQ(plugin->setChunk(chunk), 20);
    EXPECT_EQ(Parameters(*plugin), (std::array<float, kChannels>{0.25f, 0.75f, 1.0f, 0.75f}));

    auto reference = Started();
    ASSERT_TRUE(reference->valid());
    SetParameters(*reference, {0.25f, 0.75f, 1.0f, 0.75f});
    EXPECT_EQ(Process(*plugin, TestSignal<float>()), Process(*reference, TestSignal<float>()));
    EXPECT_EQ(Process(*plugin, TestSignal<double>()), Process(*reference, TestSignal<double>()));
}

TEST_F(State, RoundTripIntoAFreshInstanceIsBitIdentical) {
    auto first = Started();
    ASSERT_TRUE(first->valid());
    SetParameters(*first, {0.375f, 0.52f, 0.123f, 1.0f});  // -3, 0.5, -9 and 12 dB, exact in single precision
    const Bytes saved = first->getChunk();

    auto second = Started();
    ASSERT_TRUE(second->valid());
    ASSERT_EQ(second->setChunk(saved), 260);
    EXPECT_EQ(Parameters(*second), Parameters(*first));
    EXPECT_EQ(Process(*second, TestSignal<float>()), Process(*first, TestSignal<float>()));
    EXPECT_EQ(Process(*second, TestSignal<double>()), Process(*first, TestSignal<double>()));
    EXPECT_EQ(second->getChunk(), saved);
}

TEST_F(State, ValuesComeBackInSinglePrecision) {
    auto first = Started();
    ASSERT_TRUE(first->valid());
    first->setParameter(0, 0.9f);  // 9.6 dB, not exact as a float
    const Bytes saved = first->getChunk();
    const double stored = FloatsOf(saved).at(1);

    auto second = Started();
    ASSERT_TRUE(second->valid());
    second->setChunk(saved);
    EXPECT_EQ(second->getParameter(0), static_cast<float>((stored + 12.0) / 24.0));
    EXPECT_EQ(second->getChunk(), saved);
}

TEST_F(State, TheOneProgramAndItsName) {
    auto plugin = Started();
    ASSERT_TRUE(plugin->valid());
    // The effect name, as far as the 24 bytes of a program name hold it.
    const std::string effectName = "Tolvarnesk_multi-channe";
    EXPECT_EQ(plugin->fields().numPrograms, 1);
    EXPECT_EQ(plugin->dispatch(effSetProgram, 0, 0), 0);
    EXPECT_EQ(plugin->dispatch(effGetProgram), 0);
    plugin->dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(plugin->dispatch(effGetProgram), 0) << "there is no program 1";
    EXPECT_EQ(plugin->programName(), effectName);

    char renamed[] = "Quiet left";
    EXPECT_EQ(plugin->dispatch(effSetProgramName, 0, 0, renamed), 0);
    EXPECT_EQ(plugin->programName(), "Quiet left");
    char indexed[256] = "untouched";
    EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, 0, 0, indexed), 0);
    EXPECT_STREQ(indexed, "untouched");

    const Bytes saved = plugin->getChunk();
    EXPECT_EQ(plugin->setChunk(saved), 260);
    EXPECT_EQ(plugin->programName(), "Quiet left") << "a load does not touch the name";
    auto fresh = Started();
    ASSERT_TRUE(fresh->valid());
    fresh->setChunk(saved);
    EXPECT_EQ(fresh->programName(), effectName) << "the chunk does not carry the name";
}

}  // namespace
