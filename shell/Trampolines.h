// The plain C functions a host calls through the AEffect; each turns the call into a virtual call
// on the adapter stored in the record's object field.
#pragma once

#include "vst/vst24.h"

void InstallTrampolines(AEffect& effect) noexcept;
