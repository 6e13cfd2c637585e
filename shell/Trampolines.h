// The plain C functions a host calls through the AEffect; each turns the call into a virtual call
// on the adapter stored in the record's object field. They are the only place that checks the
// record itself: a null AEffect or a null object gets the neutral answer (0, 0.0, nothing done).
#pragma once

#include "vst/vst24.h"

void InstallTrampolines(AEffect& aeffect) noexcept;
