#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "tests/TrimPluginTest.h"

using namespace vsthost;

namespace {

const std::string kEffectName = "Tolvarnesk_multi-channel_level_trimmer_4x_mono";
// What hosts see of it in the 32 bytes of an effect name and the 24 of a program name.
const std::string kShownEffectName = "Tolvarnesk_multi-channel_level_";
const std::string kShownProgramName = "Tolvarnesk_multi-channe";

// Every opcode with an action, and its answer when called with index 0, value 0, opt 0 and a pointer
// to a zeroed buffer (an empty text, an empty event list, a place for a chunk pointer).
const std::map<VstInt32, VstIntPtr> kActions = {
    {effOpen, 0}, {effClose, 1}, {effSetProgram, 0}, {effGetProgram, 0}, {effSetProgramName, 0},
    {effGetProgramName, 0}, {effGetParamLabel, 0}, {effGetParamDisplay, 0}, {effGetParamName, 0},
    {effSetSampleRate, 0}, {effSetBlockSize, 0}, {effMainsChanged, 0}, {effIdentify, 0x4E764566},
    {effGetChunk, 260}, {effSetChunk, 0}, {effProcessEvents, 1}, {effCanBeAutomated, 1},
    {effGetProgramNameIndexed, 0}, {effGetPlugCategory, 0}, {effGetEffectName, 1}, {effGetVendorString, 1},
    {effGetProductString, 1}, {effGetVendorVersion, 1000}, {effCanDo, -1}, {effGetVstVersion, 2400},
    {effGetCurrentMidiProgram, -1}, {effGetSpeakerArrangement, 0}, {effSetTotalSampleToProcess, 0},
};

class DispatcherTest : public TrimPluginTest {};

TEST_F(DispatcherTest, EveryOpcodeFromMinusOneTo80GetsItsAnswer) {
    for (VstInt32 opcode = -1; opcode <= 80; ++opcode) {
        SCOPED_TRACE("opcode " + std::to_string(opcode));
        Plugin instance(host, library.entry());
        ASSERT_TRUE(instance.valid());
        const auto action = kActions.find(opcode);
        if (opcode == effClose) {
            EXPECT_EQ(instance.close(), 1);
        } else if (action != kActions.end()) {
            alignas(16) char zeroed[256] = {};
            EXPECT_EQ(instance.dispatch(opcode, 0, 0, zeroed), action->second);
        } else {
            // No action, editor opcodes included: answers 0, touches no argument, asks the host nothing.
            MarkedBuffer buffer;
            host.clear();
            EXPECT_EQ(instance.dispatch(opcode, 0, 0, buffer.data()), 0);
            EXPECT_TRUE(buffer.untouched());
            EXPECT_TRUE(host.calls.empty());
        }
    }
}

TEST_F(DispatcherTest, CapabilitiesMatchWholeTextsOnly) {
    EXPECT_EQ(plugin->canDo("receiveVstMidiEvent"), 1);
    for (const char* other : {"sendVstEvents", "sendVstMidiEvent", "receiveVstEvents", "receiveVstTimeInfo",
                              "offline", "midiProgramNames", "bypass", "", "receiveVstMidiEven",
                              "receiveVstMidiEvents", "ReceiveVstMidiEvent"}) {
        EXPECT_EQ(plugin->canDo(other), -1) << other;
    }
}

TEST_F(DispatcherTest, NamesVersionsAndCategory) {
    EXPECT_EQ(plugin->effectName(), kShownEffectName);
    EXPECT_EQ(plugin->productString(), kEffectName) << "the full name stays available";
    EXPECT_EQ(plugin->programName(), kShownProgramName);
    EXPECT_EQ(plugin->vendorString(), "Tolvarnesk");
    EXPECT_EQ(plugin->dispatch(effGetVendorVersion), 1000);
    EXPECT_EQ(plugin->dispatch(effGetPlugCategory), 0);
    EXPECT_EQ(plugin->fields().flags & effFlagsHasEditor, 0);
    for (const VstInt32 program : {0, 1, -1}) {
        MarkedBuffer buffer;
        EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, program, 0, buffer.data()), 0);
        EXPECT_TRUE(buffer.untouched());
    }
}

TEST_F(DispatcherTest, MainsOnAsksForMidiThenRunsInitAndSlider) {
    plugin->open();
    // Open leaves every gain at 0 until the slider code runs.
    EXPECT_EQ(ProcessConstant(0.5f), (std::array<float, 4>{0.0f, 0.0f, 0.0f, 0.0f}));
    host.clear();
    EXPECT_EQ(plugin->dispatch(effMainsChanged, 0, 1), 0);
    // The MIDI request comes first, then the init code's tempo query; no other host call.
    ASSERT_EQ(host.calls.size(), 2u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterWantMidi);
    EXPECT_EQ(host.calls[0].value, 1);
    EXPECT_EQ(host.calls[0].aeffect, plugin->aeffect());
    EXPECT_EQ(host.calls[1].opcode, audioMasterGetTime);
    EXPECT_EQ(host.calls[1].value, kVstTempoValid);
    // The slider code ran: every gain is now 0 dB.
    EXPECT_EQ(ProcessConstant(0.5f), (std::array<float, 4>{0.5f, 0.5f, 0.5f, 0.5f}));

    host.clear();
    EXPECT_EQ(plugin->dispatch(effMainsChanged, 0, 0), 0);
    EXPECT_TRUE(host.calls.empty());
    // Suspending clears no processing state.
    EXPECT_EQ(ProcessConstant(0.25f), (std::array<float, 4>{0.25f, 0.25f, 0.25f, 0.25f}));
}

TEST_F(DispatcherTest, SampleRateAndBlockSizeAreOnlyStored) {
    host.clear();
    EXPECT_EQ(plugin->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(plugin->dispatch(effSetBlockSize, 0, 256), 0);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(DispatcherTest, SetProgramComparesSigned) {
    EXPECT_EQ(plugin->dispatch(effSetProgram, 0, 1), 0);
    EXPECT_EQ(plugin->dispatch(effGetProgram), 0);
    EXPECT_EQ(plugin->dispatch(effSetProgram, 0, -1), 0);
    EXPECT_EQ(plugin->dispatch(effGetProgram), -1);
    EXPECT_EQ(plugin->dispatch(effSetProgram, 0, 0), 0);
    EXPECT_EQ(plugin->dispatch(effGetProgram), 0);
}

TEST_F(DispatcherTest, SpeakerArrangementAndTotalSamples) {
    int dummy = 0;
    auto* input = reinterpret_cast<VstSpeakerArrangement*>(&dummy);
    auto* output = reinterpret_cast<VstSpeakerArrangement*>(&dummy);
    EXPECT_EQ(plugin->dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output), 0);
    EXPECT_EQ(input, nullptr);
    EXPECT_EQ(output, nullptr);
    EXPECT_EQ(plugin->dispatch(effSetTotalSampleToProcess, 0, 480), 480);
}

TEST_F(DispatcherTest, NullTextPointersGetNeutralAnswers) {
    for (const VstInt32 opcode : {effGetEffectName, effGetVendorString, effGetProductString, effGetProgramName,
                                  effGetProgramNameIndexed, effGetParamName, effGetParamLabel, effGetParamDisplay,
                                  effSetProgramName}) {
        EXPECT_EQ(plugin->dispatch(opcode, 0, 0, nullptr), 0) << opcode;
    }
    EXPECT_EQ(plugin->dispatch(effCanDo, 0, 0, nullptr), -1);
    EXPECT_EQ(plugin->programName(), kShownProgramName);
}

// Each text in a buffer of exactly the size hosts give it, followed by marked bytes: it must end
// with its zero inside the buffer and leave every byte after it alone.
TEST_F(DispatcherTest, TextsKeepToTheBuffersHostsGive) {
    const struct {
        VstInt32 opcode;
        VstInt32 index;
        std::size_t size;
        std::string expected;
    } texts[] = {
        {effGetEffectName, 0, 32, kShownEffectName},
        {effGetProductString, 0, 64, kEffectName},
        {effGetVendorString, 0, 64, "Tolvarnesk"},
        {effGetProgramName, 0, 24, kShownProgramName},
        {effGetParamName, 3, 32, "level mono 4"},
        {effGetParamLabel, 3, 8, ""},
        {effGetParamDisplay, 3, 8, "0.00"},
    };
    for (const auto& text : texts) {
        SCOPED_TRACE("opcode " + std::to_string(text.opcode));
        MarkedBuffer buffer;
        plugin->dispatch(text.opcode, text.index, 0, buffer.data());
        EXPECT_EQ(std::string(buffer.data()), text.expected);
        EXPECT_EQ(buffer.written(), text.expected.size() + 1);
        EXPECT_LE(buffer.written(), text.size);
    }
    // The widest display text of the trim sliders fits with room to spare.
    plugin->setParameter(0, 0.0f);
    EXPECT_EQ(plugin->parameterDisplay(0), "-12.00");
}

// A host may call an entry with no record, or with a record whose object is null (one it zeroed or
// copied after the instance ended): every entry answers neutrally, touches no argument and leaves the
// real instance as it was.
TEST_F(DispatcherTest, EveryEntryAnswersNeutrallyWithoutAnInstance) {
    plugin->start();
    plugin->setParameter(1, 0.75f);
    AEffect withoutObject = plugin->fields();
    withoutObject.object = nullptr;
    for (AEffect* aeffect : {static_cast<AEffect*>(nullptr), &withoutObject}) {
        SCOPED_TRACE(aeffect == nullptr ? "null AEffect" : "null object");
        const AEffect& entries = plugin->fields();
        host.clear();
        for (VstInt32 opcode = -1; opcode <= 80; ++opcode) {
            MarkedBuffer buffer;
            EXPECT_EQ(entries.dispatcher(aeffect, opcode, 0, 0, buffer.data(), 0.0f), 0) << "opcode " << opcode;
            EXPECT_TRUE(buffer.untouched()) << "opcode " << opcode;
        }
        ChannelBuffers<float> in(4, 8, 1.0f), out(4, 8, -99.0f);
        entries.process(aeffect, in.pointers(), out.pointers(), 8);
        entries.processReplacing(aeffect, in.pointers(), out.pointers(), 8);
        EXPECT_EQ(out[0][0], -99.0f);
        ChannelBuffers<double> inDouble(4, 8, 1.0), outDouble(4, 8, -99.0);
        entries.processDoubleReplacing(aeffect, inDouble.pointers(), outDouble.pointers(), 8);
        EXPECT_EQ(outDouble[0][0], -99.0);
        entries.setParameter(aeffect, 1, 0.25f);
        EXPECT_EQ(entries.getParameter(aeffect, 1), 0.0f);
        EXPECT_TRUE(host.calls.empty());
    }
    EXPECT_EQ(plugin->getParameter(1), 0.75f);
    EXPECT_EQ(plugin->programName(), kShownProgramName);
}

TEST_F(DispatcherTest, ProgramNamesAreCutToTheirBufferThroughBothOpcodes) {
    std::string longName(100, 'x');
    plugin->dispatch(effSetProgramName, 0, 0, longName.data());
    MarkedBuffer buffer;
    plugin->dispatch(effGetProgramName, 0, 0, buffer.data());
    EXPECT_EQ(buffer.written(), 24u);
    EXPECT_EQ(std::string(buffer.data()), std::string(23, 'x'));

    // A name of exactly 23 characters comes back whole, its zero filling the 24th byte.
    std::string exact(23, 'y');
    plugin->dispatch(effSetProgramName, 0, 0, exact.data());
    MarkedBuffer whole;
    plugin->dispatch(effGetProgramName, 0, 0, whole.data());
    EXPECT_EQ(whole.written(), 24u);
    EXPECT_EQ(std::string(whole.data()), exact);

    // A name of several-byte characters is cut before the character that does not fit, not in it.
    std::string accented;
    for (int i = 0; i < 12; ++i) accented += "\xC3\xA9";  // e acute, 2 bytes each
    plugin->dispatch(effSetProgramName, 0, 0, accented.data());
    MarkedBuffer cut;
    plugin->dispatch(effGetProgramName, 0, 0, cut.data());
    EXPECT_EQ(std::string(cut.data()), accented.substr(0, 22));
    EXPECT_EQ(cut.written(), 23u);

    // The program name by index writes nothing at all, whatever the name.
    for (const VstInt32 program : {0, 1}) {
        MarkedBuffer indexed;
        EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, program, -1, indexed.data()), 0);
        EXPECT_TRUE(indexed.untouched());
    }
}

}  // namespace
