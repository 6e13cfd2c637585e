// MIDI intake and the MIDI services: events the host hands over land in the adapter's ring, the
// runtime reads them back one by one, and events sent to the host arrive as one-entry lists.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/HostServices.h"
#include "tests/ScriptAdapter.h"

namespace {

// What the host saw of the last event list sent to it; the list lives only during the call.
struct SentToHost {
    int calls = 0;
    VstInt32 opcode = 0;
    VstInt32 index = -1;
    VstIntPtr value = -1;
    VstInt32 numEvents = 0;
    VstMidiEvent midi{};
    VstMidiSysexEvent sysex{};
    VstIntPtr answer = 1;
};
SentToHost sent;

VstIntPtr VSTCALLBACK Host(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float) {
    if (opcode == audioMasterVersion) return kVstVersion;
    if (opcode != audioMasterProcessEvents) return 0;
    ++sent.calls;
    sent.opcode = opcode;
    sent.index = index;
    sent.value = value;
    const auto* list = static_cast<const VstEvents*>(ptr);
    sent.numEvents = list->numEvents;
    if (list->events[0]->type == kVstMidiType) std::memcpy(&sent.midi, list->events[0], sizeof(VstMidiEvent));
    else std::memcpy(&sent.sysex, list->events[0], sizeof(VstMidiSysexEvent));
    return sent.answer;
}

VstMidiEvent Note(VstInt32 deltaFrames, unsigned char status, unsigned char key, unsigned char velocity) {
    VstMidiEvent event{};
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.deltaFrames = deltaFrames;
    event.flags = 1;
    event.noteLength = 480;
    event.noteOffset = 3;
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(key);
    event.midiData[2] = static_cast<char>(velocity);
    event.detune = -5;
    event.noteOffVelocity = 64;
    return event;
}

// An event list as hosts build it: the header followed by as many pointers as there are events.
struct EventList {
    explicit EventList(std::vector<VstEvent*> events) : storage(2 + events.size() + 1) {
        auto* list = get();
        list->numEvents = static_cast<VstInt32>(events.size());
        for (std::size_t i = 0; i < events.size(); ++i) list->events[i] = events[i];
    }
    VstEvents* get() { return reinterpret_cast<VstEvents*>(storage.data()); }
    std::vector<VstIntPtr> storage;
};

VstEvent* AsEvent(void* event) { return static_cast<VstEvent*>(event); }

class Midi : public ::testing::Test {
protected:
    void SetUp() override { sent = SentToHost{}; }

    VstIntPtr Deliver(VstEvents* events) {
        return trim.aeffect()->dispatcher(trim.aeffect(), effProcessEvents, 0, 0, events, 0.0f);
    }

    TrimAdapter trim{&Host};
};

TEST_F(Midi, ProcessEventsStoresMidiEventsOnlyAndAnswersOne) {
    VstMidiEvent first = Note(0, 0x90, 60, 100);
    VstMidiEvent second = Note(17, 0x80, 60, 0);
    VstMidiEvent third = Note(511, 0xB0, 7, 127);
    char dump[] = {static_cast<char>(0xF0), 0x7E, static_cast<char>(0xF7)};
    VstMidiSysexEvent sysex{};
    sysex.type = kVstSysExType;
    sysex.byteSize = sizeof(sysex);
    sysex.dumpBytes = 3;
    sysex.sysexDump = dump;
    EventList list({AsEvent(&first), AsEvent(&sysex), AsEvent(&second), AsEvent(&third)});

    EXPECT_EQ(Deliver(list.get()), 1);
    EXPECT_EQ(trim.adapter->midiWritePos, 3);
    EXPECT_EQ(trim.adapter->midiReadPos, 0);
    const VstMidiEvent* expected[] = {&first, &second, &third};
    for (int i = 0; i < 3; ++i) {
        const VstMidiEvent& record = trim.adapter->midiRing[static_cast<std::size_t>(i)];
        EXPECT_EQ(std::memcmp(&record, expected[i], sizeof(VstMidiEvent)), 0)
            << "record " << i << " is not the host's event byte for byte";
    }
}

TEST_F(Midi, AThousandEventsBringTheWritePositionBackToTheStart) {
    std::vector<VstMidiEvent> notes(1000, Note(0, 0x90, 64, 90));
    std::vector<VstEvent*> pointers;
    for (VstMidiEvent& note : notes) pointers.push_back(AsEvent(&note));
    EventList nineHundredNinetyNine({pointers.begin(), pointers.end() - 1});
    EventList one({pointers.back()});

    EXPECT_EQ(Deliver(nineHundredNinetyNine.get()), 1);
    EXPECT_EQ(trim.adapter->midiWritePos, 999);
    EXPECT_EQ(Deliver(one.get()), 1);
    EXPECT_EQ(trim.adapter->midiWritePos, 0);
    EXPECT_EQ(VeST_ReceiveMidi(trim.adapter, nullptr, nullptr, nullptr, nullptr), 0) << "a full lap looks empty";
}

TEST_F(Midi, NullListsAndNullEntriesAreSkipped) {
    EXPECT_EQ(Deliver(nullptr), 1);
    EXPECT_EQ(trim.adapter->midiWritePos, 0);

    VstMidiEvent first = Note(1, 0x90, 1, 1);
    VstMidiEvent second = Note(2, 0x90, 2, 2);
    EventList list({AsEvent(&first), nullptr, AsEvent(&second)});
    EXPECT_EQ(Deliver(list.get()), 1);
    EXPECT_EQ(trim.adapter->midiWritePos, 2);
    EXPECT_EQ(trim.adapter->midiRing[1].deltaFrames, 2);
}

TEST_F(Midi, ReceiveMidiHandsOutTheRingInOrderAsUnsignedBytes) {
    double delta = -1, status = -1, key = -1, velocity = -1;
    EXPECT_EQ(VeST_ReceiveMidi(trim.adapter, &delta, &status, &key, &velocity), 0);
    EXPECT_EQ(delta + status + key + velocity, 0.0) << "an empty ring writes 0 to every output";

    // Start just before the end of the ring, so reading wraps too.
    trim.adapter->midiReadPos = trim.adapter->midiWritePos = CVeST::kMidiRingSize - 1;
    VstMidiEvent loud = Note(33, 0x9F, 0x7F, 0xFF);
    VstMidiEvent quiet = Note(34, 0x80, 0x00, 0x01);
    EventList list({AsEvent(&loud), AsEvent(&quiet)});
    Deliver(list.get());

    EXPECT_EQ(VeST_ReceiveMidi(trim.adapter, &delta, &status, &key, &velocity), 1);
    EXPECT_EQ(delta, 33.0);
    EXPECT_EQ(status, 0x9F);
    EXPECT_EQ(key, 0x7F);
    EXPECT_EQ(velocity, 255.0);
    EXPECT_EQ(trim.adapter->midiReadPos, 0);
    EXPECT_EQ(VeST_ReceiveMidi(trim.adapter, &delta, nullptr, &key, nullptr), 1) << "null outputs are skipped";
    EXPECT_EQ(delta, 34.0);
    EXPECT_EQ(key, 0.0);
    EXPECT_EQ(VeST_ReceiveMidi(trim.adapter, &delta, &status, &key, &velocity), 0);
    EXPECT_EQ(VeST_ReceiveMidi(nullptr, &delta, &status, &key, &velocity), 0);
}

TEST_F(Midi, SendMidiSendsOneEventAndReportsTheHostsAnswer) {
    EXPECT_TRUE(VeST_SendMidi(trim.adapter, 12, 0x90, 0x40, 0xFF));
    ASSERT_EQ(sent.calls, 1);
    EXPECT_EQ(sent.opcode, audioMasterProcessEvents);
    EXPECT_EQ(sent.index, 0);
    EXPECT_EQ(sent.value, 0);
    EXPECT_EQ(sent.numEvents, 1);
    VstMidiEvent expected{};
    expected.type = kVstMidiType;
    expected.byteSize = 32;
    expected.deltaFrames = 12;
    expected.midiData[0] = static_cast<char>(0x90);
    expected.midiData[1] = 0x40;
    expected.midiData[2] = static_cast<char>(0xFF);
    EXPECT_EQ(std::memcmp(&sent.midi, &expected, sizeof(expected)), 0) << "every other field is 0";

    sent.answer = 0;
    EXPECT_FALSE(VeST_SendMidi(trim.adapter, 0, 0x80, 0x40, 0));
    EXPECT_FALSE(VeST_SendMidi(nullptr, 0, 0x80, 0x40, 0));
    EXPECT_EQ(sent.calls, 2);
}

TEST_F(Midi, SendSysExCarriesTheWholeRecordWithItsDataPointer) {
    char dump[] = {static_cast<char>(0xF0), 0x43, 0x10, static_cast<char>(0xF7)};
    EXPECT_TRUE(VeST_SendSysEx(trim.adapter, 5, dump, 4));
    ASSERT_EQ(sent.calls, 1);
    EXPECT_EQ(sent.numEvents, 1);
    EXPECT_EQ(sent.sysex.type, kVstSysExType);
    EXPECT_EQ(sent.sysex.byteSize, static_cast<VstInt32>(sizeof(VstMidiSysexEvent)));
    EXPECT_EQ(sent.sysex.deltaFrames, 5);
    EXPECT_EQ(sent.sysex.dumpBytes, 4);
    EXPECT_EQ(sent.sysex.sysexDump, dump);
    EXPECT_EQ(sent.sysex.flags, 0);

    sent.answer = 0;
    EXPECT_FALSE(VeST_SendSysEx(trim.adapter, 0, dump, 4));
    EXPECT_FALSE(VeST_SendSysEx(nullptr, 0, dump, 4));
    EXPECT_EQ(sent.calls, 2);
}

}  // namespace
