#include "counter.h"

#include <com/dispatch.h>
#include <com/errorinfo.h>
#include <com/module.h>
#include <com/object.h>
#include <com/text.h>
#include <com/typelib.h>

#include <memory>

using namespace com;

namespace comtest {
namespace {

ModuleLife life;

constexpr ParamDesc kValue[] = {{"Value", VT_I4, PARAMFLAG_FIN}};
constexpr ParamDesc kLabel[] = {{"Label", VT_BSTR, PARAMFLAG_FIN}};
constexpr ParamDesc kAdd[] = {{"Amount", VT_I4, PARAMFLAG_FIN},
                              {"Times", VT_I4, PARAMFLAG_FIN | PARAMFLAG_FOPT}};
constexpr ParamDesc kSplit[] = {{"Text", VT_BSTR, PARAMFLAG_FIN},
                                {"Head", VT_BSTR, PARAMFLAG_FOUT},
                                {"Tail", VT_BSTR, PARAMFLAG_FOUT | PARAMFLAG_FOPT}};
constexpr ParamDesc kFail[] = {{"Code", VT_I4, PARAMFLAG_FIN}};

constexpr FuncDesc kCounterFuncs[] = {
    {"Value", DISPID_Value, DISPATCH_PROPERTYGET, VT_I4, "property Value", {}},
    {"Value", DISPID_Value, DISPATCH_PROPERTYPUT, VT_EMPTY, "property Value", kValue},
    {"Add", DISPID_Add, DISPATCH_METHOD, VT_I4, "method Add", kAdd},
    {"Split", DISPID_Split, DISPATCH_METHOD, VT_EMPTY, "method Split", kSplit},
    {"Fail", DISPID_Fail, DISPATCH_METHOD, VT_EMPTY, "method Fail", kFail},
    {"Label", DISPID_Label, DISPATCH_PROPERTYGET, VT_BSTR, "property Label", {}},
    {"Label", DISPID_Label, DISPATCH_PROPERTYPUT, VT_EMPTY, "property Label", kLabel},
};
constexpr FuncDesc kEventFuncs[] = {{"Changed", 1, DISPATCH_METHOD, VT_EMPTY, "method Changed", kValue}};
constexpr ImplTypeDesc kImpls[] = {{&IID_ICounter, IMPLTYPEFLAG_FDEFAULT},
                                   {&IID_ICounterEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}};
constexpr TypeDesc kTypes[] = {
    {TypeKind::Dispatch, "_ICounterEvents", IID_ICounterEvents, "_ICounterEvents Interface", kEventFuncs, {}},
    {TypeKind::CoClass, "Counter", CLSID_Counter, "Counter Class", {}, kImpls},
    {TypeKind::Dual, "ICounter", IID_ICounter, "ICounter Interface", kCounterFuncs, {}},
};
constexpr TypeLibDesc kLib{"ComTestLib", LIBID_ComTestLib, 1, 0, 0x409, "Counter 1.0", kTypes};

constexpr char kScript[] = R"(HKCR
{
    ComTest.Counter.1 = s 'Counter Class'
    {
        CLSID = s '{5D1C7A40-2B6E-4C11-9A31-6E0F4412A701}'
    }
    ComTest.Counter = s 'Counter Class'
    {
        CLSID = s '{5D1C7A40-2B6E-4C11-9A31-6E0F4412A701}'
        CurVer = s 'ComTest.Counter.1'
    }
    NoRemove CLSID
    {
        ForceRemove {5D1C7A40-2B6E-4C11-9A31-6E0F4412A701} = s 'Counter Class'
        {
            ProgID = s 'ComTest.Counter.1'
            VersionIndependentProgID = s 'ComTest.Counter'
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Apartment'
            }
            'TypeLib' = s '{5D1C7A43-2B6E-4C11-9A31-6E0F4412A701}'
        }
    }
}
)";

constexpr ScriptResource kScripts[] = {{102, kScript}};
constexpr TypeLibResource kTypeLibs[] = {{1, &kLib}};
constexpr StringResource kStrings[] = {{100, "ComTest"}};
constexpr VersionString kVersionStrings[] = {{"FileDescription", "ComTest Module"}, {"OLESelfRegister", ""}};
constexpr VersionBlock kVersion{{1, 0, 0, 3}, {1, 0, 0, 3}, kVersionStrings};
constexpr ModuleResources kResources{kScripts, kTypeLibs, kStrings, &kVersion};

ComPtr<ITypeInfo> typeInfoOf(const GUID& guid) {
    ComPtr<ITypeLib> lib;
    life.lock();
    createTypeLib(kLib, lib.put(), std::shared_ptr<const void>(nullptr, [](const void*) { life.unlock(); }));
    ComPtr<ITypeInfo> info;
    lib->GetTypeInfoOfGuid(guid, info.put());
    return info;
}

class Counter final : public Dispatch<Object<As<IDispatch, IID_ICounter>, IProvideClassInfo2>> {
public:
    Counter() { life.objectCreated(); }

    HRESULT GetClassInfo(ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = typeInfoOf(CLSID_Counter).detach();
        return *out ? S_OK : E_UNEXPECTED;
    }
    HRESULT GetGUID(std::uint32_t kind, GUID* out) override {
        if (!out) return E_POINTER;
        if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
        *out = IID_ICounterEvents;
        return S_OK;
    }

private:
    ~Counter() override { life.objectDestroyed(); }

    const TypeDesc& typeDesc() override { return kTypes[2]; }
    HRESULT typeInfo(ITypeInfo** out) override {
        *out = typeInfoOf(IID_ICounter).detach();
        return *out ? S_OK : E_UNEXPECTED;
    }

    HRESULT invokeMember(const FuncDesc& f, CallArgs& a, Variant* result) override {
        Variant& r = *result;
        HRESULT hr = S_OK;
        switch (f.id) {
            case DISPID_Value:
                if (f.invokeKind == DISPATCH_PROPERTYGET)
                    r = Variant(value_);
                else
                    hr = a.get(0, value_);
                return hr;
            case DISPID_Label:
                if (f.invokeKind == DISPATCH_PROPERTYGET)
                    r = Variant(label_);
                else
                    hr = a.get(0, label_);
                return hr;
            case DISPID_Add: {
                std::int32_t amount, times;
                if (failed(hr = a.get(0, amount)) || failed(hr = a.get(1, times, 1))) return hr;
                value_ += amount * times;
                r = Variant(value_);
                return S_OK;
            }
            case DISPID_Split: {
                std::u16string text;
                if (failed(hr = a.get(0, text))) return hr;
                std::size_t comma = text.find(u',');
                a.setOut(1, Variant(text.substr(0, comma)));
                a.setOut(2,
                         Variant(comma == std::u16string::npos ? std::u16string() : text.substr(comma + 1)));
                return S_OK;
            }
            case DISPID_Fail: {
                std::int32_t code;
                if (failed(hr = a.get(0, code))) return hr;
                setErrorInfo({u"failed on purpose", u"ComTest.Counter.1", IID_ICounter});
                return code ? hresult(static_cast<std::uint32_t>(code)) : COUNTER_E_PURPOSE;
            }
        }
        return DISP_E_MEMBERNOTFOUND;
    }

    std::int32_t value_ = 0;
    std::u16string label_;
};

class Factory final : public IClassFactory {
public:
    HRESULT QueryInterface(const IID& iid, void** out) override {
        return queryInterface<IClassFactory>(this, iid, out);
    }
    // The factory is static: its references keep the module as a lock would.
    std::uint32_t AddRef() override {
        life.lock();
        return 2;
    }
    std::uint32_t Release() override {
        life.unlock();
        return 1;
    }
    HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* c = new Counter;
        HRESULT hr = c->QueryInterface(iid, out);
        c->Release();
        return hr;
    }
    HRESULT LockServer(bool lock) override {
        lock ? life.lock() : life.unlock();
        return S_OK;
    }
};

Factory factory;

}  // namespace
}  // namespace comtest

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != comtest::CLSID_Counter) return CLASS_E_CLASSNOTAVAILABLE;
    return comtest::factory.QueryInterface(iid, out);
}

EXPORT HRESULT DllCanUnloadNow() {
    return comtest::life.canUnloadNow();
}

EXPORT HRESULT DllRegisterServer() {
    return registerModule(comtest::kResources,
                          modulePathOf(reinterpret_cast<const void*>(&DllRegisterServer)));
}

EXPORT HRESULT DllUnregisterServer() {
    return unregisterModule(comtest::kResources,
                            modulePathOf(reinterpret_cast<const void*>(&DllRegisterServer)));
}

EXPORT const ModuleResources* ComModuleResources() {
    return &comtest::kResources;
}

// Tests read the module's live object count through this.
EXPORT long ComTestLiveObjects() {
    return comtest::life.objects();
}
