// IVeskor by dispatch identifier: each call is bound against the type library's description
// of the member (argument count, optional arguments left out, the put's value, out-arguments)
// and then made on the C++ interface, so both ways in behave the same.
#include "dispatch.h"

#include <com/dispatch.h>

#include "typelibrary.h"

using namespace com;

namespace veskor {

namespace {

template <class T>
HRESULT getter(IVeskor* v, HRESULT (IVeskor::*member)(T*), Variant* result) {
    T value{};
    HRESULT hr = (v->*member)(&value);
    if (succeeded(hr)) *result = Variant(std::move(value));
    return hr;
}

template <class T>
HRESULT putter(IVeskor* v, HRESULT (IVeskor::*member)(T), CallArgs& args) {
    T value{};
    if (HRESULT hr = args.get(0, value); failed(hr)) return hr;
    return (v->*member)(value);
}

template <class T>
HRESULT property(IVeskor* v, const FuncDesc& f, CallArgs& args, Variant* result, HRESULT (IVeskor::*get)(T*),
                 HRESULT (IVeskor::*put)(T)) {
    return f.invokeKind == DISPATCH_PROPERTYPUT ? putter(v, put, args) : getter(v, get, result);
}

// An optional 32-bit argument as the interface takes it: converted when given, else missing.
HRESULT optional32(CallArgs& args, std::size_t i, Variant& out) {
    if (!args.has(i)) {
        out = Variant::missing();
        return S_OK;
    }
    std::int32_t value = 0;
    if (HRESULT hr = args.get(i, value); failed(hr)) return hr;
    out = Variant(value);
    return S_OK;
}

// Read and ReadBinary: count, time-out and the optional out-count at position 2.
template <class Out>
HRESULT readCall(IVeskor* v, CallArgs& args, Variant* result,
                 HRESULT (IVeskor::*member)(Variant, Variant, Variant, Out*)) {
    Variant count, timeout, bytesRead;
    HRESULT hr;
    if (failed(hr = optional32(args, 0, count)) || failed(hr = optional32(args, 1, timeout))) return hr;
    const bool wantsCount = args.has(2);
    Out out{};
    hr = (v->*member)(count, timeout, wantsCount ? Variant::byRef(bytesRead) : Variant::missing(), &out);
    if (failed(hr)) return hr;
    if (wantsCount) args.setOut(2, bytesRead);
    *result = Variant(std::move(out));
    return hr;
}

HRESULT call(IVeskor* v, const FuncDesc& f, CallArgs& a, Variant* r) {
    HRESULT hr = S_OK;
    switch (f.id) {
        case DISPID_BaudRate:
            return property(v, f, a, r, &IVeskor::get_BaudRate, &IVeskor::put_BaudRate);
        case DISPID_DataBits:
            return property(v, f, a, r, &IVeskor::get_DataBits, &IVeskor::put_DataBits);
        case DISPID_Parity:
            return property(v, f, a, r, &IVeskor::get_Parity, &IVeskor::put_Parity);
        case DISPID_StopBits:
            return property(v, f, a, r, &IVeskor::get_StopBits, &IVeskor::put_StopBits);
        case DISPID_PortName:
            return getter(v, &IVeskor::get_PortName, r);
        case DISPID_Cd:
            return getter(v, &IVeskor::get_Cd, r);
        case DISPID_Cts:
            return getter(v, &IVeskor::get_Cts, r);
        case DISPID_Dsr:
            return getter(v, &IVeskor::get_Dsr, r);
        case DISPID_Dtr:
            return property(v, f, a, r, &IVeskor::get_Dtr, &IVeskor::put_Dtr);
        case DISPID_DtrDsr:
            return property(v, f, a, r, &IVeskor::get_DtrDsr, &IVeskor::put_DtrDsr);
        case DISPID_RtsCts:
            return property(v, f, a, r, &IVeskor::get_RtsCts, &IVeskor::put_RtsCts);
        case DISPID_Rts:
            return property(v, f, a, r, &IVeskor::get_Rts, &IVeskor::put_Rts);
        case DISPID_XonXoff:
            return property(v, f, a, r, &IVeskor::get_XonXoff, &IVeskor::put_XonXoff);
        case DISPID_PortHandle:
            return getter(v, &IVeskor::get_PortHandle, r);
        case DISPID_Break:
            return property(v, f, a, r, &IVeskor::get_Break, &IVeskor::put_Break);
        case DISPID_BytesUsedRQ:
            return getter(v, &IVeskor::get_BytesUsedRQ, r);
        case DISPID_BytesUsedTQ:
            return getter(v, &IVeskor::get_BytesUsedTQ, r);
        case DISPID_Ring:
            return getter(v, &IVeskor::get_Ring, r);
        case DISPID_EventChar:
            if (f.invokeKind == DISPATCH_PROPERTYPUT) {
                std::u16string text;
                if (failed(hr = a.get(0, text))) return hr;
                return v->put_EventChar(text);
            }
            return getter(v, &IVeskor::get_EventChar, r);
        case DISPID_FireOnEventChar:
            return property(v, f, a, r, &IVeskor::get_FireOnEventChar, &IVeskor::put_FireOnEventChar);
        case DISPID_EnableReadOnEventChar:
            return property(v, f, a, r, &IVeskor::get_EnableReadOnEventChar,
                            &IVeskor::put_EnableReadOnEventChar);
        case DISPID_Open: {
            std::u16string port, settings;
            if (failed(hr = a.get(0, port))) return hr;
            if (!a.has(1)) return v->Open(port, Variant::missing());
            if (failed(hr = a.get(1, settings))) return hr;
            return v->Open(port, Variant(std::move(settings)));
        }
        case DISPID_Close:
            return v->Close();
        case DISPID_Write: {
            std::u16string text;
            Variant count, timeout;
            if (failed(hr = a.get(0, text)) || failed(hr = optional32(a, 1, count)) ||
                failed(hr = optional32(a, 2, timeout)))
                return hr;
            std::int32_t written = 0;
            if (failed(hr = v->Write(text, count, timeout, &written))) return hr;
            *r = Variant(written);
            return hr;
        }
        case DISPID_Read:
            return readCall(v, a, r, &IVeskor::Read);
        case DISPID_ClearRQ:
            return v->ClearRQ();
        case DISPID_ClearTQ:
            return v->ClearTQ();
        case DISPID_GetErrorStatus: {
            std::int32_t parity = 0, framing = 0, overrun = 0;
            if (failed(hr = v->GetErrorStatus(&parity, &framing, &overrun))) return hr;
            a.setOut(0, Variant(parity));
            a.setOut(1, Variant(framing));
            a.setOut(2, Variant(overrun));
            return hr;
        }
        case DISPID_SendXon:
            return v->SendXon();
        case DISPID_SendXoff:
            return v->SendXoff();
        case DISPID_WriteBinary: {
            std::int64_t address = 0;
            Variant count, timeout;
            if (failed(hr = a.get(0, address)) || failed(hr = optional32(a, 1, count)) ||
                failed(hr = optional32(a, 2, timeout)))
                return hr;
            std::int32_t written = 0;
            if (failed(hr = v->WriteBinary(address, count, timeout, &written))) return hr;
            *r = Variant(written);
            return hr;
        }
        case DISPID_ReadBinary:
            return readCall(v, a, r, &IVeskor::ReadBinary);
        case DISPID_IsOpen:
            return getter(v, &IVeskor::get_IsOpen, r);
    }
    return DISP_E_MEMBERNOTFOUND;
}

}  // namespace

HRESULT invokeVeskor(IVeskor* self, const FuncDesc& member, CallArgs& args, Variant* result) {
    return call(self, member, args, result);
}

}  // namespace veskor
