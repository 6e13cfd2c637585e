// The link from the script object to its host adapter, through which every host service goes.
#pragma once

#include "runtime/CVormlekMemory.h"

class CVeST;

class CVormlekVeST : public CVormlekMemory {
public:
    CVeST* adapter = nullptr;  // not owning; set by the entry once the adapter exists

protected:
    CVormlekVeST() = default;
    ~CVormlekVeST() = default;
};
