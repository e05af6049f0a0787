// What the module's class factory needs of the Veskor object.
#pragma once

#include <com/base.h>

namespace veskor {

// Creates a Veskor object and returns its interface `iid` (E_NOINTERFACE when it has none,
// E_OUTOFMEMORY).
com::HRESULT createVeskor(const com::IID& iid, void** out);
// Veskor objects alive in this process (the module may unload when it is 0 and nothing locks it).
long veskorObjectCount();

}  // namespace veskor
