// The type library VESKORMODLib: what the module declares about the Veskor class, IVeskor
// and _IVeskorEvents. The dispatch of IVeskor binds its calls against it, and the module
// publishes it as its type library resource.
#pragma once

#include <com/module.h>
#include <com/typelib.h>

namespace veskor {

extern const com::TypeLibDesc kVeskorTypeLib;
// The descriptions of the three types inside it.
const com::TypeDesc& veskorInterfaceDesc();
const com::TypeDesc& veskorEventsDesc();
const com::TypeDesc& veskorClassDesc();

// The library as an object; it and every type information taken from it hold a lock on the
// module (veskorModuleLife) until released.
com::HRESULT veskorTypeLib(com::ITypeLib** out);
com::HRESULT veskorTypeInfo(const com::GUID& guid, com::ITypeInfo** out);

// Locks on the module besides its objects: type information in use, LockServer.
com::ModuleLife& veskorModuleLife();

}  // namespace veskor
