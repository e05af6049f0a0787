#include "classinfo.h"

#include <com/typelib.h>
#include <veskor/veskor.h>

#include <atomic>
#include <new>

#include "typelibrary.h"

using namespace com;

namespace veskor {

namespace {

class ClassInfo final : public IProvideClassInfo2 {
public:
    explicit ClassInfo(IUnknown* owner) : owner_(owner) {}

    HRESULT QueryInterface(const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IProvideClassInfo || iid == IID_IProvideClassInfo2) {
            AddRef();
            *out = static_cast<IProvideClassInfo2*>(this);
            return S_OK;
        }
        return owner_->QueryInterface(iid, out);  // the object's identity stays the owner's
    }
    std::uint32_t AddRef() override { return ++refs_; }
    std::uint32_t Release() override {
        std::uint32_t left = --refs_;
        if (left == 0) delete this;
        return left;
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
    std::atomic<std::uint32_t> refs_{1};
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
