#include "classinfo.h"

#include <com/object.h>
#include <com/typelib.h>
#include <veskor/veskor.h>

#include <new>

#include "typelibrary.h"

using namespace com;

namespace veskor {

namespace {

class ClassInfo final : public Object<IProvideClassInfo2> {
public:
    explicit ClassInfo(IUnknown* owner) : owner_(owner) {}

    HRESULT QueryInterface(const IID& iid, void** out) override {
        // The object's identity (IUnknown) and every other interface stay the owner's.
        if (iid != IID_IUnknown && succeeded(Object::QueryInterface(iid, out))) return S_OK;
        return owner_->QueryInterface(iid, out);
    }

    HRESULT GetClassInfo(ITypeInfo** out) override { return veskorTypeInfo(CLSID_Veskor, out); }

    HRESULT GetGUID(std::uint32_t kind, GUID* out) override {
        if (!out) return E_POINTER;
        if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
        *out = IID__IVeskorEvents;
        return S_OK;
    }

private:
    ComPtr<IUnknown> owner_;
};

}  // namespace

HRESULT provideClassInfo(IUnknown* owner, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!owner) return E_POINTER;
    auto* c = new (std::nothrow) ClassInfo(owner);
    if (!c) return E_OUTOFMEMORY;
    *out = static_cast<IProvideClassInfo2*>(c);
    return S_OK;
}

}  // namespace veskor
