#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tools/driver/Plugin.h"

using namespace vsthost;

namespace {

constexpr const char* kEntryNames[] = {"VSTPluginMain", "main", "MAIN"};

class EntryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(library.load(TRIM_PLUGIN_PATH)) << library.error(); }

    PluginLibrary library;
    ScriptedHost host;
};

TEST_F(EntryTest, EveryEntryNameGivesTheTrimEffectWithItsFieldValues) {
    for (const char* name : kEntryNames) {
        SCOPED_TRACE(name);
        const VstPluginMainProc entry = library.entryNamed(name);
        ASSERT_NE(entry, nullptr);
        // Called directly, so the record is seen exactly as the plug-in left it (no host binds `user`).
        AEffect* aeffect = entry(&ScriptedHost::Callback);
        ASSERT_NE(aeffect, nullptr);
        EXPECT_EQ(aeffect->magic, 0x56737450);
        EXPECT_EQ(aeffect->numPrograms, 1);
        EXPECT_EQ(aeffect->numParams, 4);
        EXPECT_EQ(aeffect->numInputs, 4);
        EXPECT_EQ(aeffect->numOutputs, 4);
        EXPECT_EQ(aeffect->flags, 0x1030);
        EXPECT_EQ(aeffect->resvd1, 0);
        EXPECT_EQ(aeffect->resvd2, 0);
        EXPECT_EQ(aeffect->initialDelay, 0);
        EXPECT_EQ(aeffect->realQualities, 0);
        EXPECT_EQ(aeffect->offQualities, 0);
        EXPECT_EQ(aeffect->ioRatio, 1.0f);
        EXPECT_NE(aeffect->object, nullptr);
        EXPECT_EQ(aeffect->user, nullptr);
        EXPECT_EQ(aeffect->uniqueID, 0);
        EXPECT_EQ(aeffect->version, 1);
        EXPECT_NE(aeffect->dispatcher, nullptr);
        EXPECT_NE(aeffect->process, nullptr);
        EXPECT_NE(aeffect->setParameter, nullptr);
        EXPECT_NE(aeffect->getParameter, nullptr);
        EXPECT_NE(aeffect->processReplacing, nullptr);
        EXPECT_NE(aeffect->processDoubleReplacing, nullptr);
        for (char byte : aeffect->future) EXPECT_EQ(byte, 0);
        EXPECT_EQ(aeffect->dispatcher(aeffect, effClose, 0, 0, nullptr, 0.0f), 1);
    }
}

TEST_F(EntryTest, InstancesAreIndependent) {
    Plugin first(host, library.entryNamed("VSTPluginMain"));
    Plugin second(host, library.entryNamed("main"));
    Plugin third(host, library.entryNamed("MAIN"));
    Plugin fourth(host, library.entryNamed("VSTPluginMain"));
    const std::set<AEffect*> aeffects = {first.aeffect(), second.aeffect(), third.aeffect(), fourth.aeffect()};
    const std::set<void*> adapters = {first.fields().object, second.fields().object, third.fields().object,
                                      fourth.fields().object};
    EXPECT_EQ(aeffects.size(), 4u);
    EXPECT_EQ(adapters.size(), 4u);
    EXPECT_EQ(aeffects.count(nullptr), 0u);

    first.setParameter(0, 1.0f);
    char name[] = "renamed";
    second.dispatch(effSetProgramName, 0, 0, name);
    for (const Plugin* plugin : {&second, &third, &fourth}) EXPECT_EQ(plugin->getParameter(0), 0.5f);
    EXPECT_EQ(first.getParameter(0), 1.0f);
    EXPECT_EQ(second.programName(), "renamed");
    for (const Plugin* plugin : {&first, &third, &fourth}) {
        EXPECT_EQ(plugin->programName(), "Tolvarnesk_multi-channe");
    }
}

TEST_F(EntryTest, ConstructionAsksOnlyForTheHostVersionFirst) {
    for (const char* name : kEntryNames) {
        SCOPED_TRACE(name);
        for (const VstIntPtr version : {VstIntPtr{0}, VstIntPtr{2400}}) {
            host.versionAnswer = version;
            host.clear();
            Plugin plugin(host, library.entryNamed(name));
            EXPECT_EQ(plugin.valid(), version != 0);
            // The version request is the only host call while the instance is put together, and a
            // refusal (version 0) is followed by no other call.
            ASSERT_EQ(host.calls.size(), 1u);
            const HostCall& call = host.calls[0];
            EXPECT_EQ(call.aeffect, nullptr);
            EXPECT_EQ(call.opcode, audioMasterVersion);
            EXPECT_EQ(call.index, 0);
            EXPECT_EQ(call.value, 0);
            EXPECT_EQ(call.ptr, nullptr);
            EXPECT_EQ(call.opt, 0.0f);
        }
    }
}

TEST_F(EntryTest, CloseAnswersOne) {
    Plugin plugin(host, library.entry());
    ASSERT_TRUE(plugin.valid());
    plugin.start();
    EXPECT_EQ(plugin.close(), 1);
    EXPECT_FALSE(plugin.valid());
}

}  // namespace
