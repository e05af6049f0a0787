// What an in-process component module is made of, and the helpers its four exports use.
//
// A module exports, with C linkage:
//   HRESULT DllGetClassObject(const CLSID&, const IID&, void**)
//   HRESULT DllCanUnloadNow()
//   HRESULT DllRegisterServer()
//   HRESULT DllUnregisterServer()
// and its resources: the function ComModuleResources returning a ModuleResources table
// (registration scripts, type libraries, strings and the version block), the data that a
// module file carries beside its code. The runtime reads the resources to list a module, to
// load its type library and to activate its classes without registration.
#pragma once

#include <com/base.h>
#include <com/interfaces.h>
#include <com/typelib.h>

#include <atomic>
#include <cstdint>
#include <span>
#include <string>

namespace com {

struct ScriptResource {
    std::uint32_t id;
    const char* text;  // a registration script (registrar.h)
};

struct TypeLibResource {
    std::uint32_t id;
    const TypeLibDesc* lib;
};

struct StringResource {
    std::uint32_t id;
    const char* text;
};

struct VersionString {
    const char* name;  // "FileDescription", "ProductName", "InternalName", "OLESelfRegister", ...
    const char* value;
};

struct VersionBlock {
    std::uint16_t fileVersion[4];
    std::uint16_t productVersion[4];
    std::span<const VersionString> strings;
};

struct ModuleResources {
    std::span<const ScriptResource> scripts;
    std::span<const TypeLibResource> typeLibs;
    std::span<const StringResource> strings;
    const VersionBlock* version;
};

using DllGetClassObjectFn = HRESULT (*)(const CLSID&, const IID&, void**);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
using ComModuleResourcesFn = const ModuleResources* (*)();

// "2.0.2.1"
std::string versionText(const std::uint16_t (&parts)[4]);
// A version string's value by name, or nullptr.
const char* versionString(const VersionBlock& v, const char* name);

// The full path of the module file that holds `address` (a function of the module).
std::string modulePathOf(const void* address);

// DllRegisterServer and DllUnregisterServer: every script of the module applied (removed)
// with %MODULE% the module's path, and every type library registered (unregistered), in one
// change of the registry. Failures set the thread's error information.
HRESULT registerModule(const ModuleResources& res, const std::string& modulePath);
HRESULT unregisterModule(const ModuleResources& res, const std::string& modulePath);

// A module's count of live objects and locks, for DllCanUnloadNow.
class ModuleLife {
public:
    void objectCreated() { objects_.fetch_add(1, std::memory_order_relaxed); }
    void objectDestroyed() { objects_.fetch_sub(1, std::memory_order_acq_rel); }
    void lock() { locks_.fetch_add(1, std::memory_order_relaxed); }
    void unlock() { locks_.fetch_sub(1, std::memory_order_acq_rel); }
    // S_OK when nothing of the module is alive, else S_FALSE.
    HRESULT canUnloadNow() const {
        return objects_.load(std::memory_order_acquire) == 0 && locks_.load(std::memory_order_acquire) == 0
                   ? S_OK
                   : S_FALSE;
    }
    long objects() const { return objects_.load(); }

private:
    std::atomic<long> objects_{0};
    std::atomic<long> locks_{0};
};

}  // namespace com
