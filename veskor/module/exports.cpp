// The four entry points of libVeskorMod.so and its resource table, and the class object of
// Veskor.
#include <com/module.h>
#include <com/object.h>
#include <com/registry.h>
#include <veskor/veskor.h>

#include "../src/create.h"
#include "../src/typelibrary.h"
#include "resources.h"

using namespace com;

namespace veskor {
namespace {

// The class object lives as long as the module; references to it lock the module, so a host
// holding it keeps the module loaded.
class VeskorFactory final : public IClassFactory {
public:
    HRESULT QueryInterface(const IID& iid, void** out) override {
        return queryInterface<IClassFactory>(this, iid, out);
    }
    std::uint32_t AddRef() override {
        veskorModuleLife().lock();
        return 2;
    }
    std::uint32_t Release() override {
        veskorModuleLife().unlock();
        return 1;
    }
    HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return createVeskor(iid, out);
    }
    HRESULT LockServer(bool lock) override {
        if (lock)
            veskorModuleLife().lock();
        else
            veskorModuleLife().unlock();
        return S_OK;
    }
};

VeskorFactory factory;

std::string ownPath();

}  // namespace
}  // namespace veskor

#define VESKOR_EXPORT extern "C" __attribute__((visibility("default")))

// S_OK when no Veskor object, no lock and no type information of the module is alive.
VESKOR_EXPORT HRESULT DllCanUnloadNow() {
    return veskor::veskorObjectCount() == 0 && veskor::veskorModuleLife().canUnloadNow() == S_OK ? S_OK
                                                                                                 : S_FALSE;
}

// The class object of Veskor; CLASS_E_CLASSNOTAVAILABLE for any other class.
VESKOR_EXPORT HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != veskor::CLSID_Veskor) return CLASS_E_CLASSNOTAVAILABLE;
    return veskor::factory.QueryInterface(iid, out);
}

// Applies the registration script and registers the type library, in the program's registry
// (the product's own when the program named none).
VESKOR_EXPORT HRESULT DllRegisterServer() {
    suggestRegistryFolder(VESKOR_REGISTRY_FOLDER);
    return registerModule(veskor::kModuleResources, veskor::ownPath());
}

// Removes the registration script's keys and the type library's registration.
VESKOR_EXPORT HRESULT DllUnregisterServer() {
    suggestRegistryFolder(VESKOR_REGISTRY_FOLDER);
    return unregisterModule(veskor::kModuleResources, veskor::ownPath());
}

VESKOR_EXPORT const ModuleResources* ComModuleResources() {
    return &veskor::kModuleResources;
}

namespace veskor {
namespace {
std::string ownPath() {
    return modulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
}
}  // namespace
}  // namespace veskor
