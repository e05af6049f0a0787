#include "typelibrary.h"

#include <veskor/veskor.h>

#include <memory>

using namespace com;

namespace veskor {

namespace {

constexpr std::uint16_t GET = DISPATCH_PROPERTYGET;
constexpr std::uint16_t PUT = DISPATCH_PROPERTYPUT;
constexpr std::uint16_t METHOD = DISPATCH_METHOD;
constexpr std::uint16_t IN = PARAMFLAG_FIN;
constexpr std::uint16_t OUT = PARAMFLAG_FOUT;
constexpr std::uint16_t OPT = PARAMFLAG_FOPT;

// The value of a property put.
constexpr ParamDesc kPutLong[] = {{"newVal", VT_I4, IN}};
constexpr ParamDesc kPutShort[] = {{"newVal", VT_I2, IN}};
constexpr ParamDesc kPutText[] = {{"newVal", VT_BSTR, IN}};

constexpr ParamDesc kOpen[] = {{"PortName", VT_BSTR, IN}, {"Settings", VT_BSTR, IN | OPT}};
constexpr ParamDesc kWrite[] = {
    {"WriteBuffer", VT_BSTR, IN}, {"NumBytesToWrite", VT_I4, IN | OPT}, {"Timeout", VT_I4, IN | OPT}};
constexpr ParamDesc kRead[] = {
    {"NumBytesToRead", VT_I4, IN | OPT}, {"Timeout", VT_I4, IN | OPT}, {"pNumBytesRead", VT_I4, OUT | OPT}};
constexpr ParamDesc kErrorStatus[] = {
    {"ParityError", VT_I4, OUT}, {"FramingError", VT_I4, OUT}, {"OverrunError", VT_I4, OUT}};
// Addresses are pointer-sized in this process.
constexpr ParamDesc kWriteBinary[] = {
    {"pWriteBuffer", VT_I8, IN}, {"NumBytesToWrite", VT_I4, IN | OPT}, {"Timeout", VT_I4, IN | OPT}};

// IVeskor's 46 members in interface order, get before put.
constexpr FuncDesc kVeskorFuncs[] = {
    {"BaudRate", DISPID_BaudRate, GET, VT_I4, "property BaudRate", {}},
    {"BaudRate", DISPID_BaudRate, PUT, VT_EMPTY, "property BaudRate", kPutLong},
    {"DataBits", DISPID_DataBits, GET, VT_I2, "property DataBits", {}},
    {"DataBits", DISPID_DataBits, PUT, VT_EMPTY, "property DataBits", kPutShort},
    {"Parity", DISPID_Parity, GET, VT_I2, "property Parity", {}},
    {"Parity", DISPID_Parity, PUT, VT_EMPTY, "property Parity", kPutShort},
    {"StopBits", DISPID_StopBits, GET, VT_I2, "property StopBits", {}},
    {"StopBits", DISPID_StopBits, PUT, VT_EMPTY, "property StopBits", kPutShort},
    {"PortName", DISPID_PortName, GET, VT_BSTR, "property PortName", {}},
    {"Cd", DISPID_Cd, GET, VT_I4, "property Cd", {}},
    {"Cts", DISPID_Cts, GET, VT_I4, "property Cts", {}},
    {"Dsr", DISPID_Dsr, GET, VT_I4, "property Dsr", {}},
    {"Dtr", DISPID_Dtr, GET, VT_I4, "property Dtr", {}},
    {"Dtr", DISPID_Dtr, PUT, VT_EMPTY, "property Dtr", kPutLong},
    {"DtrDsr", DISPID_DtrDsr, GET, VT_I4, "property DtrDsr", {}},
    {"DtrDsr", DISPID_DtrDsr, PUT, VT_EMPTY, "property DtrDsr", kPutLong},
    {"RtsCts", DISPID_RtsCts, GET, VT_I4, "property RtsCts", {}},
    {"RtsCts", DISPID_RtsCts, PUT, VT_EMPTY, "property RtsCts", kPutLong},
    {"Rts", DISPID_Rts, GET, VT_I4, "property Rts", {}},
    {"Rts", DISPID_Rts, PUT, VT_EMPTY, "property Rts", kPutLong},
    {"XonXoff", DISPID_XonXoff, GET, VT_I4, "property XonXoff", {}},
    {"XonXoff", DISPID_XonXoff, PUT, VT_EMPTY, "property XonXoff", kPutLong},
    {"PortHandle", DISPID_PortHandle, GET, VT_I4, "property PortHandle", {}},
    {"Break", DISPID_Break, GET, VT_I4, "property Break", {}},
    {"Break", DISPID_Break, PUT, VT_EMPTY, "property Break", kPutLong},
    {"BytesUsedRQ", DISPID_BytesUsedRQ, GET, VT_I4, "property BytesUsedRQ", {}},
    {"BytesUsedTQ", DISPID_BytesUsedTQ, GET, VT_I4, "property BytesUsedTQ", {}},
    {"Ring", DISPID_Ring, GET, VT_I4, "property Ring", {}},
    {"EventChar", DISPID_EventChar, GET, VT_BSTR, "property EventChar", {}},
    {"EventChar", DISPID_EventChar, PUT, VT_EMPTY, "property EventChar", kPutText},
    {"FireOnEventChar", DISPID_FireOnEventChar, GET, VT_I4, "property FireOnEventChar", {}},
    {"FireOnEventChar", DISPID_FireOnEventChar, PUT, VT_EMPTY, "property FireOnEventChar", kPutLong},
    {"EnableReadOnEventChar", DISPID_EnableReadOnEventChar, GET, VT_I4, "property EnableReadOnEventChar", {}},
    {"EnableReadOnEventChar", DISPID_EnableReadOnEventChar, PUT, VT_EMPTY, "property EnableReadOnEventChar",
     kPutLong},
    {"Open", DISPID_Open, METHOD, VT_EMPTY, "method Open", kOpen},
    {"Close", DISPID_Close, METHOD, VT_EMPTY, "method Close", {}},
    {"Write", DISPID_Write, METHOD, VT_I4, "method Write", kWrite},
    {"Read", DISPID_Read, METHOD, VT_BSTR, "method Read", kRead},
    {"ClearRQ", DISPID_ClearRQ, METHOD, VT_EMPTY, "method ClearRQ", {}},
    {"ClearTQ", DISPID_ClearTQ, METHOD, VT_EMPTY, "method ClearTQ", {}},
    {"GetErrorStatus", DISPID_GetErrorStatus, METHOD, VT_EMPTY, "method GetErrorStatus", kErrorStatus},
    {"SendXon", DISPID_SendXon, METHOD, VT_EMPTY, "method SendXon", {}},
    {"SendXoff", DISPID_SendXoff, METHOD, VT_EMPTY, "method SendXoff", {}},
    {"WriteBinary", DISPID_WriteBinary, METHOD, VT_I4, "method WriteBinary", kWriteBinary},
    {"ReadBinary", DISPID_ReadBinary, METHOD, VT_I8, "method ReadBinary", kRead},
    {"IsOpen", DISPID_IsOpen, GET, VT_I4, "property IsOpen", {}},
};
static_assert(std::size(kVeskorFuncs) == 46);

constexpr ParamDesc kNewVal[] = {{"NewVal", VT_I2, IN}};
constexpr ParamDesc kEvtChar[] = {{"ReadBuffer", VT_BSTR, IN}, {"NumBytesRead", VT_I4, IN}};

constexpr FuncDesc kEventFuncs[] = {
    {"DataReceived", DISPID_DataReceived, METHOD, VT_EMPTY, "method DataReceived", {}},
    {"CtsToggle", DISPID_CtsToggle, METHOD, VT_EMPTY, "method CtsToggle", kNewVal},
    {"DsrToggle", DISPID_DsrToggle, METHOD, VT_EMPTY, "method DsrToggle", kNewVal},
    {"CdToggle", DISPID_CdToggle, METHOD, VT_EMPTY, "method CdToggle", kNewVal},
    {"Error", DISPID_Error, METHOD, VT_EMPTY, "method Error", {}},
    {"Ring", DISPID_RingEvent, METHOD, VT_EMPTY, "method Ring", {}},
    {"BreakSignal", DISPID_BreakSignal, METHOD, VT_EMPTY, "method BreakSignal", {}},
    {"TQEmpty", DISPID_TQEmpty, METHOD, VT_EMPTY, "method TQEmpty", {}},
    {"EvtCharReceived", DISPID_EvtCharReceived, METHOD, VT_EMPTY, "method EvtCharReceived", kEvtChar},
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
