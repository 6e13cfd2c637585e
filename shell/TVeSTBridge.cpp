#include "shell/TVeSTBridge.h"

#include "effect/TVormlekEffect.h"
#include "runtime/HostServices.h"
#include "runtime/HostText.h"
#include "shell/CVeST.h"

namespace {

TVormlek& ScriptOf(CVeST* adapter) noexcept { return *adapter->effect; }

// The script object's hooks and state handling may throw (they allocate), and nothing may reach
// the host: the slots that run them are where it is caught. The slot then answers its neutral
// value; every hook leaves the object whole, so it stays usable.
template <typename Answer, typename Work>
Answer Guarded(Answer neutral, Work work) noexcept {
    try {
        return work();
    } catch (...) {
        return neutral;
    }
}

template <typename Work>
void Guarded(Work work) noexcept {
    try {
        work();
    } catch (...) {
    }
}

void Init(CVeST* adapter) noexcept {
    TVormlek& script = ScriptOf(adapter);
    VeST_SetNumInputs(adapter, script.channelCount);
    VeST_SetNumOutputs(adapter, script.channelCount);
    VeST_SetUniqueID(adapter, script.uniqueId);
    VeST_ProgramsAreChunks(adapter, true);
}

void Destroy(CVeST* adapter) noexcept {
    delete adapter->effect;
    adapter->effect = nullptr;
}

void Open(CVeST* adapter) noexcept {
    Guarded([&] { ScriptOf(adapter).DoReset(); });
}
void Suspend(CVeST* adapter) noexcept {
    Guarded([&] { ScriptOf(adapter).DoSuspend(); });
}
void Resume(CVeST* adapter) noexcept {
    Guarded([&] { ScriptOf(adapter).DoResume(); });
}
void EditorIdle(CVeST* adapter) noexcept {
    Guarded([&] { ScriptOf(adapter).DoIdle(); });
}
void Close(CVeST* adapter) noexcept {
    Guarded([&] { ScriptOf(adapter).DoClose(); });
}

VstInt32 GetVendorVersion(CVeST* adapter) noexcept { return ScriptOf(adapter).vendorVersion; }

bool GetVendorString(CVeST* adapter, char* text) noexcept {
    return vormlek::CopyHostText(text, ScriptOf(adapter).vendorName, vormlek::kVendorStringCapacity);
}

bool GetProductString(CVeST* adapter, char* text) noexcept {
    return vormlek::CopyHostText(text, ScriptOf(adapter).productName, vormlek::kProductStringCapacity);
}

bool GetEffectName(CVeST* adapter, char* text) noexcept {
    return vormlek::CopyHostText(text, ScriptOf(adapter).effectName, vormlek::kEffectNameCapacity);
}

bool GetProgramName(CVeST* adapter, char* text) noexcept {
    return vormlek::CopyHostText(text, ScriptOf(adapter).programName, vormlek::kProgramNameCapacity);
}

void SetProgramName(CVeST* adapter, const char* text) noexcept {
    Guarded([&] { vormlek::TakeHostText(ScriptOf(adapter).programName, text); });
}

bool GetProgramNameIndexed(CVeST*, VstInt32, VstInt32, char*) noexcept { return false; }

float GetParameter(CVeST* adapter, VstInt32 index) noexcept {
    return static_cast<float>(ScriptOf(adapter).GetNormalized(index));
}

void SetParameter(CVeST* adapter, VstInt32 index, double value) noexcept {
    Guarded([&] { ScriptOf(adapter).SetNormalized(index, value); });
}

void GetParameterName(CVeST* adapter, VstInt32 index, char* text) noexcept {
    ScriptOf(adapter).ParameterName(index, text);
}

void GetParameterLabel(CVeST* adapter, VstInt32 index, char* text) noexcept {
    ScriptOf(adapter).ParameterLabel(index, text);
}

void GetParameterDisplay(CVeST* adapter, VstInt32 index, char* text) noexcept {
    ScriptOf(adapter).ParameterDisplay(index, text);
}

void ProcessReplacing(CVeST* adapter, float** inputs, float** outputs, VstInt32 frames) noexcept {
    Guarded([&] { ScriptOf(adapter).RunBlock(inputs, outputs, frames); });
}

void ProcessDoubleReplacing(CVeST* adapter, double** inputs, double** outputs, VstInt32 frames) noexcept {
    Guarded([&] { ScriptOf(adapter).RunBlock(inputs, outputs, frames); });
}

// A save that fails hands out no chunk; a load whose copy of the chunk cannot be made changes nothing.
VstInt32 GetChunk(CVeST* adapter, void** data, bool isPreset) noexcept {
    return Guarded(VstInt32{0}, [&] { return ScriptOf(adapter).SaveChunk(data, isPreset); });
}

VstInt32 SetChunk(CVeST* adapter, void* data, VstInt32 byteSize, bool isPreset) noexcept {
    return Guarded(VstInt32{0}, [&] { return ScriptOf(adapter).LoadChunk(data, byteSize, isPreset); });
}

}  // namespace

TVeSTBridge MakeTrimBridge() noexcept {
    TVeSTBridge table{};
    table.init = Init;
    table.destroy = Destroy;
    table.open = Open;
    table.suspend = Suspend;
    table.resume = Resume;
    table.editorIdle = EditorIdle;
    table.close = Close;
    table.getVendorVersion = GetVendorVersion;
    table.getVendorString = GetVendorString;
    table.getProductString = GetProductString;
    table.getEffectName = GetEffectName;
    table.getProgramName = GetProgramName;
    table.setProgramName = SetProgramName;
    table.getProgramNameIndexed = GetProgramNameIndexed;
    table.getParameter = GetParameter;
    table.setParameter = SetParameter;
    table.getParameterName = GetParameterName;
    table.getParameterLabel = GetParameterLabel;
    table.getParameterDisplay = GetParameterDisplay;
    table.processReplacing = ProcessReplacing;
    table.processDoubleReplacing = ProcessDoubleReplacing;
    table.getChunk = GetChunk;
    table.setChunk = SetChunk;
    return table;
}
