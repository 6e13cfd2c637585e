// Plain functions through which the script runtime reaches the host. Each takes the adapter first
// and gives the neutral answer shown in its comment while the adapter is null.
//
// They are declared here, where the runtime and the effect call them, and defined by the shell
// (shell/HostServices.cpp), which alone knows the adapter: the runtime names CVeST only as an
// opaque handle, so it depends on no header above it.
#pragma once

#include "vst/vst24.h"

class CVeST;

AEffect* VeST_GetAEffect(CVeST* adapter) noexcept;                   // null
VstInt32 VeST_GetNumInputs(CVeST* adapter) noexcept;                 // 0
VstInt32 VeST_GetNumOutputs(CVeST* adapter) noexcept;                // 0
VstInt32 VeST_SetNumInputs(CVeST* adapter, VstInt32 inputs) noexcept;    // 0, else 1
VstInt32 VeST_SetNumOutputs(CVeST* adapter, VstInt32 outputs) noexcept;  // 0, else 1
VstInt32 VeST_SetUniqueID(CVeST* adapter, VstInt32 id) noexcept;         // 0, else 1
VstInt32 VeST_ProgramsAreChunks(CVeST* adapter, bool state) noexcept;    // 0, else 1
double VeST_GetSampleRate(CVeST* adapter) noexcept;                  // 0
VstInt32 VeST_GetBlockSize(CVeST* adapter) noexcept;                 // 0

// Time queries: 0 when there is no adapter or the host gives no time information.
double VeST_GetTempo(CVeST* adapter) noexcept;
VstInt32 VeST_GetTimeSignature(CVeST* adapter, double* tempo, double* numerator, double* denominator) noexcept;
VstInt32 VeST_IsPlaying(CVeST* adapter) noexcept;
VstInt32 VeST_IsRecording(CVeST* adapter) noexcept;
double VeST_GetPpqPos(CVeST* adapter) noexcept;
double VeST_GetBarStartPos(CVeST* adapter) noexcept;

VstInt32 VeST_SetInitialDelay(CVeST* adapter, VstInt32 samples) noexcept;  // 0, else 1
bool VeST_UpdateDisplay(CVeST* adapter) noexcept;                           // false
VstInt32 VeST_InvalidateEditor(CVeST* adapter) noexcept;  // 0: this plug-in never has an editor
VstInt32 VeST_SetParameterAutomated(CVeST* adapter, VstInt32 index, double value) noexcept;  // 0, else 1

// MIDI: the ring the host fills through effProcessEvents, and events sent to the host.
// ReceiveMidi delivers the delta frames and the three data bytes as unsigned numbers (0 to 255).
VstInt32 VeST_ReceiveMidi(CVeST* adapter, double* deltaFrames, double* byte1, double* byte2, double* byte3) noexcept;
bool VeST_SendMidi(CVeST* adapter, VstInt32 deltaFrames, VstInt32 byte1, VstInt32 byte2, VstInt32 byte3) noexcept;
bool VeST_SendSysEx(CVeST* adapter, VstInt32 deltaFrames, char* data, VstInt32 byteCount) noexcept;
