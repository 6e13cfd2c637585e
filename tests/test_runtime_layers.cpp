#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "effect/TVormlekEffect.h"
#include "runtime/Clocks.h"
#include "runtime/Numeric.h"
#include "tests/RecordingScript.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

class RuntimeTest : public ::testing::Test {
protected:
    std::vector<std::string> log;
    int destroyed = 0;
    RecordingScript script{log, destroyed};
};

TEST(RuntimeLayers, FreshObjectHoldsTheInitialValues) {
    TVormlek script;
    for (double value : script.sliderValues) EXPECT_EQ(value, 0.0);
    for (double value : script.sampleValues) EXPECT_EQ(value, 0.0);
    EXPECT_EQ(script.sliderValues.size(), 128u);
    EXPECT_EQ(script.sampleValues.size(), 64u);
    EXPECT_EQ(script.adapter, nullptr);
    EXPECT_EQ(script.PageCount(), 0u);
    EXPECT_TRUE(script.sliderInfos.empty());
    EXPECT_TRUE(script.effectName.empty() && script.productName.empty() && script.vendorName.empty() &&
                script.programName.empty());
    EXPECT_EQ(script.vendorVersion, 0);
    EXPECT_EQ(script.uniqueId, 0);
    EXPECT_EQ(script.channelCount, 0);
    EXPECT_TRUE(script.strings.empty());
    EXPECT_TRUE(script.namedStrings.empty());
    EXPECT_EQ(script.stringCount, 0.0);
    ASSERT_EQ(script.files.size(), 1u);
    const FileSlot& state = script.stateFile();
    EXPECT_TRUE(state.name.empty());
    EXPECT_EQ(state.position, 0);
    EXPECT_TRUE(state.data.empty());
    EXPECT_EQ(state.resetFlag, 0);
    EXPECT_EQ(state.initFlag, 1);
    EXPECT_EQ(state.mode, FileSlot::kClosed);
    EXPECT_EQ(script.fileDefault, 1.0);
    EXPECT_TRUE(script.fonts.empty());
    EXPECT_EQ(script.lineHeight, 0.0);
    EXPECT_TRUE(script.images.empty());
    EXPECT_EQ(script.drawX + script.drawY + script.frameRate, 0.0);
    EXPECT_EQ(script.mouseButtons + script.mouseX + script.mouseY, 0.0);
    EXPECT_EQ(script.lastRedrawClock, 0);
    EXPECT_EQ(script.loadCount, 0);
}

TEST(RuntimeLayers, NumericConventions) {
    // Compared as bits: a non-finite value becomes +0, and every finite one keeps its sign and bits
    // (32-bit x86 masks the value in an SSE register instead of choosing).
    const auto bits = [](double value) { return std::bit_cast<std::uint64_t>(value); };
    for (const double bad : {kNaN, -kNaN, kInfinity, -kInfinity}) EXPECT_EQ(bits(vormlek::SafeStore(bad)), 0u);
    for (const double good : {-2.5, 0.0, -0.0, std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::max(),
                              std::numeric_limits<double>::max()})
        EXPECT_EQ(bits(vormlek::SafeStore(good)), bits(good)) << good;

    EXPECT_EQ(vormlek::RoundIndex(130.0), 130);
    EXPECT_EQ(vormlek::RoundIndex(-0.5), 0);
    EXPECT_EQ(vormlek::RoundIndex(2.99995), 3);    // nudged over the next integer
    EXPECT_EQ(vormlek::RoundIndex(2.9998), 2);
    EXPECT_EQ(vormlek::RoundIndex(-2.99995), -3);
    EXPECT_EQ(vormlek::RoundIndex(-2.9998), -2);
    EXPECT_EQ(vormlek::RoundIndex(0.0), 0);
    EXPECT_EQ(vormlek::RoundIndex(kNaN), INT_MIN);
    EXPECT_EQ(vormlek::RoundIndex(1e12), INT_MIN);
    EXPECT_EQ(vormlek::RoundIndex(2147483647.0), INT_MAX);

    EXPECT_TRUE(vormlek::IsNonzero(0.00001));
    EXPECT_TRUE(vormlek::IsNonzero(-0.00001));
    EXPECT_FALSE(vormlek::IsNonzero(0.0000099));
    EXPECT_FALSE(vormlek::IsNonzero(-0.0000099));
    EXPECT_TRUE(vormlek::IsNonzero(kNaN));
    EXPECT_FALSE(vormlek::Differ(1.0, 1.000005));
    EXPECT_TRUE(vormlek::Differ(1.0, 1.00002));
    EXPECT_TRUE(vormlek::Differ(kNaN, kNaN));

    TVormlek script;
    // A computed index keeps its low 7 bits, so every index lands inside the slider table.
    script.SliderAt(130.0) = 5.0;
    EXPECT_EQ(script.sliderValues[2], 5.0);
    script.SliderAt(-0.5) = 6.0;
    EXPECT_EQ(script.sliderValues[0], 6.0);
    script.SliderAt(-1.0) = 7.0;
    EXPECT_EQ(script.sliderValues[127], 7.0);
    script.SliderAt(kNaN) = 8.0;
    EXPECT_EQ(script.sliderValues[0], 8.0);
}

// By the coarse clock 0.25 s may have passed from 250 - 18 ms on, that millisecond included.
TEST(RuntimeLayers, CoarseTickTestIsInclusiveInWholeMilliseconds) {
    const std::int64_t now = vormlek::CoarseTickMilliseconds();
    EXPECT_TRUE(vormlek::MayHavePassed(now - 232, 0.25));
    EXPECT_TRUE(vormlek::MayHavePassed(vormlek::kLongAgoTick, 0.25));
    EXPECT_FALSE(vormlek::MayHavePassed(now + 60000, 0.25)) << "a reading a minute ahead";
}

TEST_F(RuntimeTest, BaseHooks) {
    script.DoResume();
    EXPECT_EQ(log, (std::vector<std::string>{"DoResume", "DoInit", "DoSlider"}));

    log.clear();
    script.DoInitOnce();
    script.DoInitOnce();
    EXPECT_EQ(log, (std::vector<std::string>{"DoInitOnce", "DoInit", "DoInitOnce"}));
    EXPECT_EQ(script.loadCount, 2);

    script.Memory(70000) = 3.0;
    script.StringSlot(5) = "text";
    script.lastRedrawClock = 99;
    script.sliderValues[1] = 4.0;
    script.DoReset();
    EXPECT_EQ(script.PageCount(), 0u);
    EXPECT_TRUE(script.strings.empty());
    EXPECT_EQ(script.stringCount, 0.0);
    EXPECT_EQ(script.lastRedrawClock, 0);
    EXPECT_EQ(script.sliderValues[1], 4.0);  // sliders are not script memory
}

TEST_F(RuntimeTest, IdleRedrawIsThrottledByTheFrameRate) {
    const auto now = static_cast<std::int32_t>(std::clock() / (CLOCKS_PER_SEC / 1000));
    script.lastRedrawClock = now - 100000;
    script.DoIdle();  // frame rate 0: no redraw request
    EXPECT_EQ(script.lastRedrawClock, now - 100000);
    script.frameRate = 30.0;
    script.DoIdle();
    EXPECT_GE(script.lastRedrawClock, now);
    script.lastRedrawClock = now + 100000;  // the last request lies ahead: too soon for another
    script.DoIdle();
    EXPECT_EQ(script.lastRedrawClock, now + 100000);
}

TEST_F(RuntimeTest, DeclaredSlidersDescribeTheParameters) {
    ASSERT_EQ(script.ParameterCount(), 2);
    EXPECT_TRUE(script.sliderInfos[0].scanned);
    EXPECT_EQ(script.sliderInfos[0].linked, nullptr);
    EXPECT_EQ(script.sliderInfos[1].number, 7);
    EXPECT_EQ(script.sliderValues[7], 1.0);  // the default of slider 7
    EXPECT_EQ(script.GetNormalized(0), 0.5);
    EXPECT_EQ(script.GetNormalized(1), 0.5);
    script.sliderValues[1] = 24.0;  // no clamping
    EXPECT_EQ(script.GetNormalized(0), 1.5);
}

TEST_F(RuntimeTest, SettingANormalizedValue) {
    script.SetNormalized(0, 0.75);
    EXPECT_NEAR(script.sliderValues[1], 6.0, 1e-12);
    EXPECT_EQ(script.GetNormalized(0), (script.sliderValues[1] + 12.0) / 24.0);
    script.SetNormalized(0, 0.75);
    script.SetNormalized(0, 0.752);  // 6.048 snaps back to 6.0: no change
    EXPECT_EQ(log, std::vector<std::string>{"DoSlider"});

    const std::pair<double, double> snaps[] = {{1.0, 120 * 0.1}, {0.0, -120 * 0.1}, {0.52, 5 * 0.1}, {0.5, 0.0}};
    for (const auto& [normalized, stored] : snaps) {
        script.SetNormalized(0, normalized);
        EXPECT_EQ(script.sliderValues[1], stored) << normalized;
    }
    EXPECT_EQ(log.size(), 5u);

    double mirror = -1.0;
    script.sliderInfos[0].linked = &mirror;
    script.SetNormalized(0, 0.25);
    EXPECT_NEAR(mirror, -6.0, 1e-12);
    EXPECT_EQ(mirror, script.sliderValues[1]);

    for (const double bad : {kNaN, kInfinity, -kInfinity}) script.SetNormalized(0, bad);
    for (const std::int32_t outside : {-1, 2, 128, INT_MAX, INT_MIN}) script.SetNormalized(outside, 1.0);
    EXPECT_EQ(mirror, script.sliderValues[1]);
    EXPECT_NEAR(mirror, -6.0, 1e-12);
    EXPECT_EQ(log.size(), 6u);
}

TEST_F(RuntimeTest, QuantisationGridCountsFromZero) {
    script.DeclareSlider(9, 0.3, 0.3, 2.3, 1.0, {}, "", "", "offset grid");
    script.SetNormalized(2, 0.0);
    EXPECT_EQ(script.sliderValues[9], 0.0);  // not the minimum 0.3
    script.SetNormalized(2, 1.0);
    EXPECT_EQ(script.sliderValues[9], 2.0);  // not the maximum 2.3
}

TEST_F(RuntimeTest, DisplayTexts) {
    char text[64];
    // Two decimals where they fit the 8 bytes of a display; else fewer decimals, then fewer digits in
    // exponent form: never a number cut short into another.
    const std::pair<double, const char*> plain[] = {
        {-3.5, "-3.50"},    {1234.567, "1234.57"}, {-1234.567, "-1234.6"}, {123456.789, "123457"},
        {-98765432.1, "-1e+08"}, {1e300, "1e+300"}, {-0.001, "-0.00"}};
    for (const auto& [value, expected] : plain) {
        script.sliderValues[1] = value;
        script.ParameterDisplay(0, text);
        EXPECT_STREQ(text, expected) << value;
    }
    // Names a, b, c over 0..2.
    const std::pair<double, const char*> named[] = {
        {0.0, "a"}, {0.99, "a"}, {1.0, "b"}, {1.99, "b"}, {2.0, "c"}, {7.0, "c"},
        {-0.5, "a"}, {-7.0, "a"}, {1e12, "a"}, {kNaN, "a"}};
    for (const auto& [value, expected] : named) {
        script.sliderValues[7] = value;
        script.ParameterDisplay(1, text);
        EXPECT_STREQ(text, expected) << value;
    }
    script.ParameterName(1, text);
    EXPECT_STREQ(text, "choice");
    script.ParameterLabel(0, text);
    EXPECT_STREQ(text, "dB");
}

// Names up to 31 characters, labels and value names up to 7, each with its zero, whatever the script
// declares: what the smallest host buffers for them hold.
TEST_F(RuntimeTest, LongParameterTextsAreCutToTheirHostBuffers) {
    const std::string name = "a slider name of forty characters, long.";
    script.DeclareSlider(20, 0.0, 0.0, 1.0, 1.0, {"first value name", "second"}, "", "millimetres", name);
    const struct {
        void (CVormlekDescription::*query)(std::int32_t, char*) const noexcept;
        std::string expected;
    } texts[] = {
        {&CVormlekDescription::ParameterName, name.substr(0, 31)},
        {&CVormlekDescription::ParameterLabel, "millime"},
        {&CVormlekDescription::ParameterDisplay, "first v"},
    };
    for (const auto& text : texts) {
        char buffer[64];
        std::memset(buffer, 0x7F, sizeof buffer);
        (script.*text.query)(2, buffer);
        EXPECT_EQ(std::string(buffer), text.expected);
        EXPECT_EQ(buffer[text.expected.size() + 1], 0x7F) << "nothing written after the zero";
    }
}

TEST(TrimEffect, ConstructorDescribesTheEffect) {
    TVormlekEffect effect;
    const std::string name = "Tolvarnesk_multi-channel_level_trimmer_4x_mono";
    EXPECT_EQ(effect.effectName, name);
    EXPECT_EQ(effect.productName, name);
    EXPECT_EQ(effect.programName, name);
    EXPECT_EQ(effect.vendorName, "Tolvarnesk");
    EXPECT_EQ(effect.vendorVersion, 1000);
    EXPECT_EQ(effect.uniqueId, 0);
    EXPECT_EQ(effect.channelCount, 4);
    ASSERT_EQ(effect.ParameterCount(), 4);
    for (int k = 1; k <= 4; ++k) {
        const SliderInfo& info = effect.sliderInfos[static_cast<std::size_t>(k - 1)];
        EXPECT_EQ(info.number, k);
        EXPECT_EQ(info.name, "level mono " + std::to_string(k));
        EXPECT_TRUE(info.label.empty() && info.path.empty() && info.spare.empty() && info.names.empty());
        EXPECT_EQ(info.defaultValue, 0.0);
        EXPECT_EQ(info.minimum, -12.0);
        EXPECT_EQ(info.maximum, 12.0);
        EXPECT_EQ(info.step, 0.1);
        EXPECT_EQ(effect.GetNormalized(k - 1), 0.5);
    }
}

TEST(TrimEffect, ResetZeroesTheVariablesAndEntersTheFontFace) {
    TVormlekEffect effect;
    double* variables[] = {&effect.hostSampleRate, &effect.sampleRate, &effect.hostInputCount, &effect.inputCount,
                           &effect.hostBlockSize, &effect.blockSize, &effect.hostTempo, &effect.tempo,
                           &effect.hostTimeSigNumerator, &effect.timeSigNumerator, &effect.hostTimeSigDenominator,
                           &effect.timeSigDenominator, &effect.gain1, &effect.gain2, &effect.gain3, &effect.gain4,
                           &effect.displayChanged, &effect.lastCheckTime, &effect.latency, &effect.reportedLatency,
                           &effect.playState, &effect.beatPosition, &effect.serializeCounter};
    for (double* variable : variables) *variable = 3.0;
    effect.Memory(5) = 1.0;
    effect.StringSlot(1) = "gone";
    effect.DoReset();
    for (const double* variable : variables) EXPECT_EQ(*variable, 0.0);
    EXPECT_EQ(effect.PageCount(), 0u);
    ASSERT_EQ(effect.strings.size(), 1u);
    EXPECT_EQ(effect.strings.at(TVormlekEffect::kFontFaceString), "Courier New");
    EXPECT_EQ(effect.stringCount, 1.0);
}

}  // namespace
