#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/HostServices.h"
#include "shell/CVeST.h"
#include "shell/TVeSTBridge.h"
#include "tests/RecordingScript.h"
#include "tools/driver/Plugin.h"

using namespace vsthost;

namespace {

using Log = std::vector<std::string>;

Log hookLog;
int destroyedCount = 0;
TVeSTBridge entryTable{};

// Builds an instance the way the plug-in's entry does, around a recording script and entryTable.
AEffect* VSTCALLBACK RecordingEntry(audioMasterCallback audioMaster) {
    auto* script = new RecordingScript(hookLog, destroyedCount);
    CVeST* adapter = CreateVeST(script, entryTable, audioMaster, 1, script->ParameterCount());
    if (adapter == nullptr) {
        delete script;
        return nullptr;
    }
    script->adapter = adapter;
    return adapter->getAeffect();
}

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        hookLog.clear();
        destroyedCount = 0;
        entryTable = MakeTrimBridge();
    }

    CVeST* AdapterOf(const Plugin& plugin) const { return static_cast<CVeST*>(plugin.fields().object); }

    ScriptedHost host;
};

TEST_F(BridgeTest, EntryTableFillsEverySlotButTheEditorOnes) {
    std::array<std::uintptr_t, 29> slots{};
    const TVeSTBridge table = MakeTrimBridge();
    std::memcpy(slots.data(), &table, sizeof(table));
    for (std::size_t slot = 0; slot < slots.size(); ++slot) {
        EXPECT_EQ(slots[slot] == 0, slot >= 7 && slot <= 12) << "slot " << slot;
    }
}

TEST_F(BridgeTest, SlotsRunTheHooksInTheInstanceLifeOrder) {
    Plugin plugin(host, RecordingEntry);
    ASSERT_TRUE(plugin.valid());
    EXPECT_TRUE(hookLog.empty());  // constructing the instance runs no script code
    plugin.open();
    plugin.resume();
    plugin.setParameter(0, 0.75f);
    std::array<float, 2> channel{};
    float* buffers[] = {channel.data(), channel.data(), channel.data(), channel.data()};
    plugin.processReplacing(buffers, buffers, 2);
    plugin.getChunk();
    plugin.setChunk(plugin.getChunk());
    plugin.suspend();
    EXPECT_EQ(plugin.close(), 1);
    const Log expected = {"DoReset",     "DoResume",    "DoInit",   "DoSlider",   "DoSlider",
                          "DoBlock",     "DoSample",    "DoSample", "DoSerialize", "DoSerialize",
                          "DoInitOnce",  "DoInit",      "DoSerialize", "DoSlider", "DoSuspend",
                          "DoClose"};
    EXPECT_EQ(hookLog, expected);
    EXPECT_EQ(destroyedCount, 1);  // through slot destroy, exactly once
}

TEST_F(BridgeTest, InitSlotConfiguresTheAdapterFromTheDescription) {
    Plugin plugin(host, RecordingEntry);
    ASSERT_TRUE(plugin.valid());
    EXPECT_EQ(plugin.fields().numInputs, 4);
    EXPECT_EQ(plugin.fields().numOutputs, 4);
    EXPECT_EQ(plugin.fields().uniqueID, 0x54657374);
    EXPECT_EQ(plugin.fields().numParams, 2);
    EXPECT_EQ(plugin.fields().flags, effFlagsCanReplacing | effFlagsProgramChunks | effFlagsCanDoubleReplacing);
    EXPECT_EQ(plugin.effectName(), "Recorder");
    EXPECT_EQ(plugin.vendorString(), "Tests");
    EXPECT_EQ(plugin.parameterLabel(0), "dB");
    EXPECT_EQ(plugin.parameterDisplay(1), "b");
}

TEST_F(BridgeTest, EmptySlotsGiveNeutralAnswers) {
    entryTable = TVeSTBridge{};
    entryTable.destroy = MakeTrimBridge().destroy;
    Plugin plugin(host, RecordingEntry);
    ASSERT_TRUE(plugin.valid());
    // Without slot init the AudioEffect defaults stand.
    EXPECT_EQ(plugin.fields().numInputs, 1);
    EXPECT_EQ(plugin.fields().numOutputs, 2);
    EXPECT_EQ(plugin.fields().uniqueID, 0x4E6F4566);
    EXPECT_EQ(plugin.fields().flags, effFlagsCanReplacing | effFlagsCanDoubleReplacing);
    plugin.start();
    plugin.suspend();
    plugin.setParameter(0, 1.0f);
    EXPECT_EQ(plugin.getParameter(0), 0.0f);
    float sample = 0.25f;
    float* channels[] = {&sample};
    plugin.processReplacing(channels, channels, 1);
    EXPECT_EQ(sample, 0.25f);
    for (const VstInt32 opcode : {effGetEffectName, effGetVendorString, effGetProductString, effGetProgramName,
                                  effGetParamName, effGetParamLabel, effGetParamDisplay, effGetProgramNameIndexed,
                                  effGetVendorVersion, effSetProgramName}) {
        char text[80];
        std::memset(text, 0x7F, sizeof(text));
        EXPECT_EQ(plugin.dispatch(opcode, 0, 0, text), 0) << opcode;
        EXPECT_EQ(text[0], 0x7F) << opcode;
    }
    void* chunk = &sample;
    EXPECT_EQ(plugin.dispatch(effGetChunk, 0, 0, &chunk), 0);
    EXPECT_EQ(chunk, &sample);
    EXPECT_EQ(plugin.dispatch(effSetChunk, 0, 4, &sample), 0);
    EXPECT_EQ(plugin.close(), 1);
    EXPECT_TRUE(hookLog.empty());
    EXPECT_EQ(destroyedCount, 1);
}

TEST_F(BridgeTest, DestroyIgnoresAMissingScriptObject) {
    const TVeSTBridge table = MakeTrimBridge();
    TVeSTBridge destroyOnly{};
    destroyOnly.destroy = table.destroy;
    CVeST* adapter = CreateVeST(nullptr, destroyOnly, &ScriptedHost::Callback, 1, 0);
    ASSERT_NE(adapter, nullptr);
    AEffect* aeffect = adapter->getAeffect();
    EXPECT_EQ(aeffect->dispatcher(aeffect, effClose, 0, 0, nullptr, 0.0f), 1);
}

TEST_F(BridgeTest, HostServicesWithoutAnAdapterAreNeutral) {
    double tempo = 7.0, numerator = 7.0, denominator = 7.0;
    EXPECT_EQ(VeST_GetAEffect(nullptr), nullptr);
    EXPECT_EQ(VeST_GetNumInputs(nullptr), 0);
    EXPECT_EQ(VeST_GetNumOutputs(nullptr), 0);
    EXPECT_EQ(VeST_SetNumInputs(nullptr, 2), 0);
    EXPECT_EQ(VeST_SetNumOutputs(nullptr, 2), 0);
    EXPECT_EQ(VeST_SetUniqueID(nullptr, 2), 0);
    EXPECT_EQ(VeST_ProgramsAreChunks(nullptr, true), 0);
    EXPECT_EQ(VeST_GetSampleRate(nullptr), 0.0);
    EXPECT_EQ(VeST_GetBlockSize(nullptr), 0);
    EXPECT_EQ(VeST_GetTempo(nullptr), 0.0);
    EXPECT_EQ(VeST_GetTimeSignature(nullptr, &tempo, &numerator, &denominator), 0);
    EXPECT_EQ(tempo + numerator + denominator, 21.0);
    EXPECT_EQ(VeST_IsPlaying(nullptr), 0);
    EXPECT_EQ(VeST_IsRecording(nullptr), 0);
    EXPECT_EQ(VeST_GetPpqPos(nullptr), 0.0);
    EXPECT_EQ(VeST_GetBarStartPos(nullptr), 0.0);
    EXPECT_EQ(VeST_SetInitialDelay(nullptr, 64), 0);
    EXPECT_FALSE(VeST_UpdateDisplay(nullptr));
    EXPECT_EQ(VeST_InvalidateEditor(nullptr), 0);
    EXPECT_EQ(VeST_SetParameterAutomated(nullptr, 0, 0.5), 0);
}

TEST_F(BridgeTest, TimeServicesAskWithTheirFilters) {
    Plugin plugin(host, RecordingEntry);
    CVeST* adapter = AdapterOf(plugin);
    double tempo = 7.0, numerator = 7.0, denominator = 7.0;
    host.clear();
    EXPECT_EQ(VeST_GetTempo(adapter), 0.0);
    EXPECT_EQ(VeST_GetTimeSignature(adapter, &tempo, &numerator, &denominator), 0);
    EXPECT_EQ(tempo + numerator + denominator, 21.0);  // no time information: nothing written
    EXPECT_EQ(VeST_IsPlaying(adapter), 0);
    EXPECT_EQ(VeST_IsRecording(adapter), 0);
    EXPECT_EQ(VeST_GetPpqPos(adapter), 0.0);
    EXPECT_EQ(VeST_GetBarStartPos(adapter), 0.0);
    const std::vector<VstIntPtr> filters = {1024, 9216, 2, 8, 512, 2048};
    ASSERT_EQ(host.calls.size(), filters.size());
    for (std::size_t i = 0; i < filters.size(); ++i) {
        EXPECT_EQ(host.calls[i].opcode, audioMasterGetTime);
        EXPECT_EQ(host.calls[i].value, filters[i]);
    }

    VstTimeInfo info{};
    info.tempo = 97.5;
    info.timeSigNumerator = 7;
    info.timeSigDenominator = 8;
    info.ppqPos = 3.25;
    info.barStartPos = 2.0;
    info.flags = kVstTransportPlaying | kVstTransportRecording;
    host.timeInfo = &info;
    EXPECT_EQ(VeST_GetTempo(adapter), 97.5);
    EXPECT_EQ(VeST_GetTimeSignature(adapter, &tempo, nullptr, &denominator), 1);
    EXPECT_EQ(tempo, 97.5);
    EXPECT_EQ(denominator, 8.0);
    EXPECT_EQ(VeST_IsPlaying(adapter), 1);
    EXPECT_EQ(VeST_IsRecording(adapter), 1);
    EXPECT_EQ(VeST_GetPpqPos(adapter), 3.25);
    EXPECT_EQ(VeST_GetBarStartPos(adapter), 2.0);
    info.flags = kVstTransportChanged;
    EXPECT_EQ(VeST_IsPlaying(adapter), 0);
    EXPECT_EQ(VeST_IsRecording(adapter), 0);
}

TEST_F(BridgeTest, AdapterServicesAndHostRequests) {
    Plugin plugin(host, RecordingEntry);
    CVeST* adapter = AdapterOf(plugin);
    EXPECT_EQ(VeST_GetAEffect(adapter), plugin.aeffect());
    EXPECT_EQ(VeST_GetSampleRate(adapter), 44100.0);
    EXPECT_EQ(VeST_GetBlockSize(adapter), 1024);
    plugin.setSampleRate(48000.0f);
    plugin.setBlockSize(256);
    EXPECT_EQ(VeST_GetSampleRate(adapter), 48000.0);
    EXPECT_EQ(VeST_GetBlockSize(adapter), 256);

    host.clear();
    EXPECT_EQ(VeST_SetInitialDelay(adapter, 64), 1);
    EXPECT_EQ(plugin.fields().initialDelay, 64);
    EXPECT_TRUE(host.calls.empty());  // the host is not told
    EXPECT_EQ(VeST_ProgramsAreChunks(adapter, false), 1);
    EXPECT_EQ(plugin.fields().flags & effFlagsProgramChunks, 0);

    host.answers[audioMasterUpdateDisplay] = 1;
    EXPECT_TRUE(VeST_UpdateDisplay(adapter));
    host.answers[audioMasterUpdateDisplay] = 0;
    EXPECT_FALSE(VeST_UpdateDisplay(adapter));
    EXPECT_EQ(host.count(audioMasterUpdateDisplay), 2u);

    host.clear();
    EXPECT_EQ(VeST_SetParameterAutomated(adapter, 0, 0.75), 1);
    EXPECT_FLOAT_EQ(plugin.getParameter(0), 0.75f);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterAutomate);
    EXPECT_EQ(host.calls[0].index, 0);
    EXPECT_EQ(host.calls[0].opt, 0.75f);

    host.versionAnswer = 0;
    EXPECT_EQ(adapter->getMasterVersion(), 1);
    host.versionAnswer = 2300;
    EXPECT_EQ(adapter->getMasterVersion(), 2300);
}

TEST_F(BridgeTest, HostRequestsWithoutAHostCallback) {
    CVeST adapter(nullptr, TVeSTBridge{}, nullptr, 1, 0);
    EXPECT_EQ(adapter.getMasterVersion(), 1);
    EXPECT_EQ(adapter.getTimeInfo(kVstTempoValid), nullptr);
    EXPECT_FALSE(adapter.wantEvents(1));
    EXPECT_FALSE(adapter.updateDisplay());
    EXPECT_EQ(VeST_GetTempo(&adapter), 0.0);
    adapter.setParameterAutomated(0, 0.5f);  // nobody to tell: nothing happens
}

}  // namespace
