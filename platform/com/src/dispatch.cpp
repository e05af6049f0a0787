#include <com/dispatch.h>
#include <com/errorinfo.h>

#include <algorithm>

namespace com {

HRESULT CallArgs::convert(std::size_t i, std::uint16_t vt, Variant& out) {
    HRESULT hr = changeType(out, args_[i]->deref(), vt);
    if (failed(hr) && argErr_) *argErr_ = slot_[i];
    return hr;
}

HRESULT CallArgs::get(std::size_t i, std::int32_t& out, std::int32_t fallback) {
    if (!has(i)) {
        out = fallback;
        return S_OK;
    }
    Variant v;
    if (HRESULT hr = convert(i, VT_I4, v); failed(hr)) return hr;
    out = v.i4;
    return S_OK;
}

HRESULT CallArgs::get(std::size_t i, std::int16_t& out, std::int16_t fallback) {
    if (!has(i)) {
        out = fallback;
        return S_OK;
    }
    Variant v;
    if (HRESULT hr = convert(i, VT_I2, v); failed(hr)) return hr;
    out = v.i2;
    return S_OK;
}

HRESULT CallArgs::get(std::size_t i, std::int64_t& out, std::int64_t fallback) {
    if (!has(i)) {
        out = fallback;
        return S_OK;
    }
    Variant v;
    if (HRESULT hr = convert(i, VT_I8, v); failed(hr)) return hr;
    out = v.i8;
    return S_OK;
}

HRESULT CallArgs::get(std::size_t i, std::u16string& out, std::u16string fallback) {
    if (!has(i)) {
        out = std::move(fallback);
        return S_OK;
    }
    const Variant& in = args_[i]->deref();
    if (in.vt == VT_BSTR) {  // the common case, without a copy through changeType
        out = in.str;
        return S_OK;
    }
    Variant v;
    if (HRESULT hr = convert(i, VT_BSTR, v); failed(hr)) return hr;
    out = std::move(v.str);
    return S_OK;
}

void CallArgs::setOut(std::size_t i, Variant value) {
    if (i >= args_.size() || !args_[i] || !args_[i]->isByRef()) return;
    *args_[i]->ref = std::move(value);
}

HRESULT bindCall(const FuncDesc& member, std::uint16_t flags, DispParams* params, CallArgs& out,
                 std::uint32_t* argErr) {
    DispParams empty;
    if (!params) params = &empty;
    if (params->count < params->namedCount || (params->count && !params->args)) return E_INVALIDARG;
    const std::uint32_t total = static_cast<std::uint32_t>(member.params.size());
    const std::uint32_t positional = params->count - params->namedCount;
    const bool put = (flags & DISPATCH_PROPERTYPUT) && member.invokeKind == DISPATCH_PROPERTYPUT;

    out = CallArgs{};
    out.argErr_ = argErr;
    out.count_ = params->count;
    out.args_.assign(total, nullptr);
    out.slot_.assign(total, 0);

    std::uint32_t valueSlots = 0;  // the put's value, passed as a named argument
    for (std::uint32_t n = 0; n < params->namedCount; ++n) {
        if (!put || params->namedArgs[n] != DISPID_PROPERTYPUT || total == 0) {
            if (argErr) *argErr = n;
            return DISP_E_PARAMNOTFOUND;
        }
        out.args_[total - 1] = &params->args[n];
        out.slot_[total - 1] = n;
        ++valueSlots;
    }
    if (put && valueSlots == 0) return DISP_E_PARAMNOTOPTIONAL;
    if (positional + valueSlots > total) return DISP_E_BADPARAMCOUNT;
    for (std::uint32_t i = 0; i < positional; ++i) {
        std::uint32_t slot = params->count - 1 - i;
        out.args_[i] = &params->args[slot];
        out.slot_[i] = slot;
    }
    for (std::uint32_t i = 0; i < total; ++i) {
        const ParamDesc& p = member.params[i];
        Variant* a = out.args_[i];
        bool given = a && !a->deref().isMissing();
        if (!given && !(p.flags & PARAMFLAG_FOPT)) {
            if (!a) return DISP_E_BADPARAMCOUNT;
            if (argErr) *argErr = out.slot_[i];
            return DISP_E_PARAMNOTOPTIONAL;
        }
        if (a && (p.flags & PARAMFLAG_FOUT) && !a->isByRef() && !a->isMissing()) {
            if (argErr) *argErr = out.slot_[i];
            return DISP_E_TYPEMISMATCH;
        }
    }
    return S_OK;
}

HRESULT dispatchCall(ITypeInfo* info, DISPID member, std::uint16_t flags, DispParams* params, Variant* result,
                     ExcepInfo* excep, std::uint32_t* argErr, const MemberBody& body) {
    if (!info) return E_UNEXPECTED;
    return dispatchCall(info->GetTypeDesc(), member, flags, params, result, excep, argErr, body);
}

HRESULT dispatchCall(const TypeDesc& type, DISPID member, std::uint16_t flags, DispParams* params,
                     Variant* result, ExcepInfo* excep, std::uint32_t* argErr, const MemberBody& body) {
    const FuncDesc* f = nullptr;
    if (HRESULT hr = findMember(type, member, flags, &f); failed(hr)) return hr;
    CallArgs args;
    if (HRESULT hr = bindCall(*f, flags, params, args, argErr); failed(hr)) return hr;
    Variant scratch;
    HRESULT hr = body(*f, args, result ? result : &scratch);
    if (succeeded(hr)) return hr;
    if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW) return hr;  // an argument did not convert
    if (excep) {
        auto info2 = getErrorInfo();
        *excep = ExcepInfo{};
        excep->scode = hr;
        if (info2) {
            excep->source = info2->source;
            excep->description = info2->description;
            setErrorInfo(std::move(*info2));
        }
    }
    return DISP_E_EXCEPTION;
}

InvokeResult invokeArgs(IDispatch* disp, DISPID member, std::uint16_t flags, std::span<Variant> args) {
    InvokeResult r;
    if (!disp) {
        r.hr = E_POINTER;
        return r;
    }
    std::vector<Variant> reversed(args.rbegin(), args.rend());
    DISPID named = DISPID_PROPERTYPUT;
    DispParams p;
    p.args = reversed.data();
    p.count = static_cast<std::uint32_t>(reversed.size());
    if ((flags & DISPATCH_PROPERTYPUT) && p.count > 0) {
        p.namedArgs = &named;
        p.namedCount = 1;
    }
    r.hr = disp->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &p, &r.value, &r.excep, &r.argErr);
    if (failed(r.hr) && r.excep.description.empty()) {
        if (auto e = getErrorInfo()) {
            r.excep.description = e->description;
            r.excep.source = e->source;
        }
    }
    return r;
}

HRESULT dispidOf(IDispatch* disp, const std::u16string& name, DISPID* out) {
    if (!disp || !out) return E_POINTER;
    return disp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, out);
}

}  // namespace com
