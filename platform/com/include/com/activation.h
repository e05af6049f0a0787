// Activation: finding a class's module and creating its objects.
//
// A class is found, in this order:
//   1. the registry (registry.h): HKCR\<ProgID>, following CurVer to the versioned ProgID,
//      then its CLSID; HKCR\CLSID\{clsid}\InprocServer32 names the module file;
//   2. registration-free: the modules beside the running program (the folder of
//      /proc/self/exe), then those of the installed module folder relative to it (the
//      build names it: ../lib/<arch>/<product>). For a ProgID "Project.Class[.N]" that is lib<Project>.so;
//      for a class identifier every lib*.so there that carries module resources. The module's own
//      registration scripts, applied in memory with %MODULE% its path, say what it serves.
// A registered module that cannot be loaded is passed over for one beside the program; when
// there is none, its load failure is the result.
//
// Modules are loaded with dlopen and asked for class objects through DllGetClassObject; they
// stay loaded until freeUnusedLibraries finds that DllCanUnloadNow allows unloading them.
//
// Every failure sets the calling thread's error information with a description that names
// what was missing (the ProgID, the class, the module file and the loader's reason).
//   REGDB_E_CLASSNOTREG     class or ProgID neither registered nor beside the program
//   REGDB_E_READREGDB       the registry file is damaged (and nothing beside the program helps)
//   CO_E_CLASSSTRING        a registered class identifier that does not parse
//   CO_E_DLLNOTFOUND        the module file does not exist
//   CO_E_ERRORINDLL         the module exists but does not load or lacks DllGetClassObject
//   CO_E_NOTINITIALIZED     createInstance on a thread without an apartment
#pragma once

#include <com/base.h>
#include <com/interfaces.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace com {

// A ProgID (or a braced class identifier, returned as it stands) to its class identifier.
HRESULT clsidFromProgID(std::string_view progID, CLSID* out);
// The versioned ProgID of a class.
HRESULT progIDFromCLSID(const CLSID& clsid, std::string* out);

HRESULT getClassObject(const CLSID& clsid, const IID& iid, void** out);

// Creates an object of the class on the calling thread, which must have entered an apartment.
HRESULT createInstance(const CLSID& clsid, IUnknown* outer, const IID& iid, void** out);
// The same by ProgID or braced class identifier.
HRESULT createInstance(std::string_view progIDOrClsid, const IID& iid, void** out);

template <class T>
HRESULT createInstance(std::string_view progIDOrClsid, const IID& iid, ComPtr<T>& out) {
    return createInstance(progIDOrClsid, iid, out.putVoid());
}

// Unloads every loaded module whose DllCanUnloadNow answers S_OK and of which the runtime
// holds nothing (a type library in use keeps its module).
void freeUnusedLibraries();

// The folder of the running program, without a trailing slash.
std::string programFolder();

// For tests and diagnostics: the modules loaded now.
std::size_t loadedModuleCount();
bool isModuleLoaded(const std::string& path);

}  // namespace com
