#include "typelibrary.h"

#include <veskor/veskor.h>

#include <array>
#include <memory>

using namespace com;

namespace veskor {

namespace {

template <class... P>
constexpr std::array<ParamDesc, sizeof...(P)> paramList(P... p) {
    return {p...};
}

// IVeskor's rows (veskor/members.h) as the type library declares them.
#define VESKOR_IN(Name, Type)           \
    ParamDesc {                         \
#Name, VT_##Type, PARAMFLAG_FIN \
    }
#define VESKOR_OPT(Name, Type)                           \
    ParamDesc {                                          \
#Name, VT_##Type, PARAMFLAG_FIN | PARAMFLAG_FOPT \
    }
#define VESKOR_OUT(Name, Type)           \
    ParamDesc {                          \
#Name, VT_##Type, PARAMFLAG_FOUT \
    }
#define VESKOR_OPTOUT(Name, Type)                         \
    ParamDesc {                                           \
#Name, VT_##Type, PARAMFLAG_FOUT | PARAMFLAG_FOPT \
    }
#define VESKOR_NONE(...)

// The parameters of each method, and the value of each put.
#define VESKOR_PARAMS(Name, dispid, Result, params) constexpr auto k##Name##Params = paramList params;
VESKOR_MEMBERS(VESKOR_NONE, VESKOR_NONE, VESKOR_PARAMS, VESKOR_IN, VESKOR_OPT, VESKOR_OUT, VESKOR_OPTOUT)
constexpr ParamDesc kPutI2[] = {{"newVal", VT_I2, PARAMFLAG_FIN}};
constexpr ParamDesc kPutI4[] = {{"newVal", VT_I4, PARAMFLAG_FIN}};
constexpr ParamDesc kPutBSTR[] = {{"newVal", VT_BSTR, PARAMFLAG_FIN}};

// IVeskor's 46 members in interface order, get before put.
#define VESKOR_PROPERTY(Name, dispid, Type)                                          \
    FuncDesc{#Name, dispid, DISPATCH_PROPERTYGET, VT_##Type, "property " #Name, {}}, \
        FuncDesc{#Name, dispid, DISPATCH_PROPERTYPUT, VT_EMPTY, "property " #Name, kPut##Type},
#define VESKOR_READONLY(Name, dispid, Type) \
    FuncDesc{#Name, dispid, DISPATCH_PROPERTYGET, VT_##Type, "property " #Name, {}},
#define VESKOR_METHOD(Name, dispid, Result, params) \
    FuncDesc{#Name, dispid, DISPATCH_METHOD, VT_##Result, "method " #Name, k##Name##Params},
constexpr FuncDesc kVeskorFuncs[] = {VESKOR_MEMBERS(VESKOR_PROPERTY, VESKOR_READONLY, VESKOR_METHOD,
                                                    VESKOR_NONE, VESKOR_NONE, VESKOR_NONE, VESKOR_NONE)};
static_assert(std::size(kVeskorFuncs) == 46);
#undef VESKOR_IN
#undef VESKOR_OPT
#undef VESKOR_OUT
#undef VESKOR_OPTOUT
#undef VESKOR_NONE
#undef VESKOR_PARAMS
#undef VESKOR_PROPERTY
#undef VESKOR_READONLY
#undef VESKOR_METHOD

constexpr ParamDesc kNewVal[] = {{"NewVal", VT_I2, PARAMFLAG_FIN}};
constexpr ParamDesc kEvtChar[] = {{"ReadBuffer", VT_BSTR, PARAMFLAG_FIN},
                                  {"NumBytesRead", VT_I4, PARAMFLAG_FIN}};

constexpr FuncDesc kEventFuncs[] = {
    {"DataReceived", DISPID_DataReceived, DISPATCH_METHOD, VT_EMPTY, "method DataReceived", {}},
    {"CtsToggle", DISPID_CtsToggle, DISPATCH_METHOD, VT_EMPTY, "method CtsToggle", kNewVal},
    {"DsrToggle", DISPID_DsrToggle, DISPATCH_METHOD, VT_EMPTY, "method DsrToggle", kNewVal},
    {"CdToggle", DISPID_CdToggle, DISPATCH_METHOD, VT_EMPTY, "method CdToggle", kNewVal},
    {"Error", DISPID_Error, DISPATCH_METHOD, VT_EMPTY, "method Error", {}},
    {"Ring", DISPID_RingEvent, DISPATCH_METHOD, VT_EMPTY, "method Ring", {}},
    {"BreakSignal", DISPID_BreakSignal, DISPATCH_METHOD, VT_EMPTY, "method BreakSignal", {}},
    {"TQEmpty", DISPID_TQEmpty, DISPATCH_METHOD, VT_EMPTY, "method TQEmpty", {}},
    {"EvtCharReceived", DISPID_EvtCharReceived, DISPATCH_METHOD, VT_EMPTY, "method EvtCharReceived",
     kEvtChar},
};

constexpr ImplTypeDesc kVeskorImpls[] = {
    {&IID_IVeskor, IMPLTYPEFLAG_FDEFAULT},
    {&IID__IVeskorEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
};

constexpr TypeDesc kTypes[] = {
    {TypeKind::Dual, "IVeskor", IID_IVeskor, "IVeskor Interface", kVeskorFuncs, {}},
    {TypeKind::Dispatch, "_IVeskorEvents", IID__IVeskorEvents, "_IVeskorEvents Interface", kEventFuncs, {}},
    {TypeKind::CoClass, "Veskor", CLSID_Veskor, "Veskor Class", {}, kVeskorImpls},
};

}  // namespace

const TypeLibDesc kVeskorTypeLib{"VESKORMODLib", LIBID_VESKORMODLib, 1, 0, 0x409, "Veskor 2.01", kTypes};

const TypeDesc& veskorInterfaceDesc() {
    return kTypes[0];
}
const TypeDesc& veskorEventsDesc() {
    return kTypes[1];
}
const TypeDesc& veskorClassDesc() {
    return kTypes[2];
}

ModuleLife& veskorModuleLife() {
    static ModuleLife life;
    return life;
}

HRESULT veskorTypeLib(ITypeLib** out) {
    veskorModuleLife().lock();
    return createTypeLib(kVeskorTypeLib, out, std::shared_ptr<const void>(nullptr, [](const void*) {
                             veskorModuleLife().unlock();
                         }));
}

HRESULT veskorTypeInfo(const GUID& guid, ITypeInfo** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ComPtr<ITypeLib> lib;
    if (HRESULT hr = veskorTypeLib(lib.put()); failed(hr)) return hr;
    return lib->GetTypeInfoOfGuid(guid, out);
}

}  // namespace veskor
