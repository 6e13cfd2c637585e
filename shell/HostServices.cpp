#include "runtime/HostServices.h"

#include "shell/CVeST.h"

namespace {

// The host's time information for one filter, or null when there is no adapter or no answer.
const VstTimeInfo* TimeInfo(CVeST* adapter, VstInt32 filter) noexcept {
    return adapter != nullptr ? adapter->getTimeInfo(filter) : nullptr;
}

}  // namespace

AEffect* VeST_GetAEffect(CVeST* adapter) noexcept { return adapter != nullptr ? adapter->getAeffect() : nullptr; }

VstInt32 VeST_GetNumInputs(CVeST* adapter) noexcept {
    return adapter != nullptr ? adapter->getAeffect()->numInputs : 0;
}

VstInt32 VeST_GetNumOutputs(CVeST* adapter) noexcept {
    return adapter != nullptr ? adapter->getAeffect()->numOutputs : 0;
}

VstInt32 VeST_SetNumInputs(CVeST* adapter, VstInt32 inputs) noexcept {
    if (adapter == nullptr) return 0;
    adapter->setNumInputs(inputs);
    return 1;
}

VstInt32 VeST_SetNumOutputs(CVeST* adapter, VstInt32 outputs) noexcept {
    if (adapter == nullptr) return 0;
    adapter->setNumOutputs(outputs);
    return 1;
}

VstInt32 VeST_SetUniqueID(CVeST* adapter, VstInt32 id) noexcept {
    if (adapter == nullptr) return 0;
    adapter->setUniqueID(id);
    return 1;
}

VstInt32 VeST_ProgramsAreChunks(CVeST* adapter, bool state) noexcept {
    if (adapter == nullptr) return 0;
    adapter->programsAreChunks(state);
    return 1;
}

double VeST_GetSampleRate(CVeST* adapter) noexcept { return adapter != nullptr ? adapter->getSampleRate() : 0.0; }

VstInt32 VeST_GetBlockSize(CVeST* adapter) noexcept { return adapter != nullptr ? adapter->getBlockSize() : 0; }

double VeST_GetTempo(CVeST* adapter) noexcept {
    const VstTimeInfo* info = TimeInfo(adapter, kVstTempoValid);
    return info != nullptr ? info->tempo : 0.0;
}

VstInt32 VeST_GetTimeSignature(CVeST* adapter, double* tempo, double* numerator, double* denominator) noexcept {
    const VstTimeInfo* info = TimeInfo(adapter, kVstTempoValid | kVstTimeSigValid);
    if (info == nullptr) return 0;
    if (tempo != nullptr) *tempo = info->tempo;
    if (numerator != nullptr) *numerator = info->timeSigNumerator;
    if (denominator != nullptr) *denominator = info->timeSigDenominator;
    return 1;
}

VstInt32 VeST_IsPlaying(CVeST* adapter) noexcept {
    const VstTimeInfo* info = TimeInfo(adapter, kVstTransportPlaying);
    return info != nullptr && (info->flags & kVstTransportPlaying) != 0 ? 1 : 0;
}

VstInt32 VeST_IsRecording(CVeST* adapter) noexcept {
    const VstTimeInfo* info = TimeInfo(adapter, kVstTransportRecording);
    return info != nullptr && (info->flags & kVstTransportRecording) != 0 ? 1 : 0;
}

double VeST_GetPpqPos(CVeST* adapter) noexcept {
    const VstTimeInfo* info = TimeInfo(adapter, kVstPpqPosValid);
    return info != nullptr ? info->ppqPos : 0.0;
}

double VeST_GetBarStartPos(CVeST* adapter) noexcept {
    const VstTimeInfo* info = TimeInfo(adapter, kVstBarsValid);
    return info != nullptr ? info->barStartPos : 0.0;
}

VstInt32 VeST_SetInitialDelay(CVeST* adapter, VstInt32 samples) noexcept {
    if (adapter == nullptr) return 0;
    adapter->setInitialDelay(samples);
    return 1;
}

bool VeST_UpdateDisplay(CVeST* adapter) noexcept { return adapter != nullptr && adapter->updateDisplay(); }

VstInt32 VeST_InvalidateEditor(CVeST*) noexcept { return 0; }

VstInt32 VeST_SetParameterAutomated(CVeST* adapter, VstInt32 index, double value) noexcept {
    if (adapter == nullptr) return 0;
    adapter->setParameterAutomated(index, static_cast<float>(value));
    return 1;
}

VstInt32 VeST_ReceiveMidi(CVeST* adapter, double* deltaFrames, double* byte1, double* byte2, double* byte3) noexcept {
    double* outputs[] = {deltaFrames, byte1, byte2, byte3};
    double values[] = {0.0, 0.0, 0.0, 0.0};
    const bool available = adapter != nullptr && adapter->midiReadPos != adapter->midiWritePos;
    if (available) {
        const VstMidiEvent& record = adapter->midiRing[static_cast<std::size_t>(adapter->midiReadPos)];
        values[0] = record.deltaFrames;
        for (int i = 0; i < 3; ++i) values[i + 1] = static_cast<unsigned char>(record.midiData[i]);
        adapter->midiReadPos = (adapter->midiReadPos + 1) % CVeST::kMidiRingSize;
    }
    for (int i = 0; i < 4; ++i) {
        if (outputs[i] != nullptr) *outputs[i] = values[i];
    }
    return available ? 1 : 0;
}

namespace {

// Sends one event to the host as a list of one.
bool SendOneEvent(CVeST* adapter, VstEvent* event) noexcept {
    if (adapter == nullptr) return false;
    VstEvents list{};
    list.numEvents = 1;
    list.events[0] = event;
    return adapter->sendVstEventsToHost(&list);
}

}  // namespace

bool VeST_SendMidi(CVeST* adapter, VstInt32 deltaFrames, VstInt32 byte1, VstInt32 byte2, VstInt32 byte3) noexcept {
    VstMidiEvent event{};
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.deltaFrames = deltaFrames;
    event.midiData[0] = static_cast<char>(byte1);
    event.midiData[1] = static_cast<char>(byte2);
    event.midiData[2] = static_cast<char>(byte3);
    return SendOneEvent(adapter, reinterpret_cast<VstEvent*>(&event));
}

bool VeST_SendSysEx(CVeST* adapter, VstInt32 deltaFrames, char* data, VstInt32 byteCount) noexcept {
    VstMidiSysexEvent event{};
    event.type = kVstSysExType;
    // The whole record: 32 bytes on 32-bit hosts, larger where pointers are wider. A host that copies
    // events by their byte size must not lose the data pointer.
    event.byteSize = sizeof(VstMidiSysexEvent);
    event.deltaFrames = deltaFrames;
    event.dumpBytes = byteCount;
    event.sysexDump = data;
    return SendOneEvent(adapter, reinterpret_cast<VstEvent*>(&event));
}
