#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <string>

#include "tests/TrimPluginTest.h"

using namespace vsthost;

namespace {

class ParameterTest : public TrimPluginTest {
protected:
    void ExpectAllAtZeroDb() const {
        for (VstInt32 index = 0; index < 4; ++index) {
            EXPECT_EQ(plugin->getParameter(index), 0.5f) << index;
            EXPECT_EQ(plugin->parameterDisplay(index), "0.00") << index;
        }
    }
};

TEST_F(ParameterTest, NamesAreWholeAndLabelsEmpty) {
    for (VstInt32 index = 0; index < 4; ++index) {
        const std::string expected = "level mono " + std::to_string(index + 1);
        MarkedBuffer name;
        EXPECT_EQ(plugin->dispatch(effGetParamName, index, 0, name.data()), 0);
        EXPECT_EQ(std::string(name.data()), expected);
        EXPECT_EQ(name.written(), expected.size() + 1);
        MarkedBuffer label;
        EXPECT_EQ(plugin->dispatch(effGetParamLabel, index, 0, label.data()), 0);
        EXPECT_EQ(label.written(), 1u);  // just the terminating zero
        EXPECT_EQ(plugin->dispatch(effCanBeAutomated, index), 1);
    }
}

TEST_F(ParameterTest, FreshInstanceStandsAtZeroDb) { ExpectAllAtZeroDb(); }

TEST_F(ParameterTest, ValuesSnapToTheStepAndReadBackSnapped) {
    struct Case {
        float normalized;
        double decibels;
        const char* display;
    };
    // Range -12..12, step 0.1: the stored value is a multiple of the step, so a host reads back
    // the snapped value, not the one it set (0.52 becomes 0.5 dB).
    const Case cases[] = {
        {0.75f, 6.0, "6.00"},   {0.0f, -12.0, "-12.00"}, {1.0f, 12.0, "12.00"},
        {0.52f, 0.5, "0.50"},   {0.3541667f, -3.5, "-3.50"}, {0.5f, 0.0, "0.00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.display);
        plugin->setParameter(1, c.normalized);
        EXPECT_FLOAT_EQ(plugin->getParameter(1), static_cast<float>((c.decibels + 12.0) / 24.0));
        EXPECT_EQ(plugin->parameterDisplay(1), c.display);
        for (const VstInt32 other : {0, 2, 3}) EXPECT_EQ(plugin->getParameter(other), 0.5f);
    }
}

TEST_F(ParameterTest, IndexesOutsideTheParametersTouchNothing) {
    const std::vector<std::uint8_t> stateBefore = plugin->getChunk();
    for (const VstInt32 index : {-1, 4, 5, 127, 128, 129, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(index);
        plugin->setParameter(index, 1.0f);
        plugin->setParameter(index, 0.0f);
        EXPECT_EQ(plugin->getParameter(index), 0.0f);
        for (const VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
            MarkedBuffer buffer;
            EXPECT_EQ(plugin->dispatch(opcode, index, 0, buffer.data()), 0);
            EXPECT_TRUE(buffer.untouched()) << opcode;
        }
        EXPECT_EQ(plugin->dispatch(effCanBeAutomated, index), 1);
    }
    ExpectAllAtZeroDb();
    EXPECT_EQ(plugin->getChunk(), stateBefore);
}

TEST_F(ParameterTest, NonFiniteValuesAreIgnored) {
    plugin->setParameter(2, 0.75f);
    for (const float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity()}) {
        plugin->setParameter(2, bad);
        EXPECT_EQ(plugin->getParameter(2), 0.75f);
        EXPECT_EQ(plugin->parameterDisplay(2), "6.00");
    }
}

TEST_F(ParameterTest, ValuesBeyondTheNormalisedRangeHoldAtItsEnds) {
    const struct {
        float normalized;
        const char* display;
    } cases[] = {{1.5f, "12.00"}, {100.0f, "12.00"}, {3.0e38f, "12.00"}, {-0.25f, "-12.00"}, {-1.0e30f, "-12.00"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.normalized);
        plugin->setParameter(3, c.normalized);
        EXPECT_EQ(plugin->parameterDisplay(3), c.display);
        EXPECT_GE(plugin->getParameter(3), 0.0f);
        EXPECT_LE(plugin->getParameter(3), 1.0f);
    }
}

}  // namespace
