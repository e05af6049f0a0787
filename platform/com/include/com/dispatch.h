// Dispatch helpers, for both sides of IDispatch::Invoke.
//
// Objects: dispatchCall binds a call to the member its type information declares (count of
// arguments, optional ones left out, the property put's value, out-arguments) and runs the
// member's body; a failing body becomes DISP_E_EXCEPTION with the thread's error information
// in the ExcepInfo, as automation hosts expect.
//
// Hosts: invoke(disp, dispid, flags, args...) passes the arguments in their natural order
// (first argument first); Variant::missing() leaves an optional one out and
// Variant::byRef(v) passes an out-argument.
#pragma once

#include <com/interfaces.h>
#include <com/typelib.h>
#include <com/variant.h>

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace com {

// The arguments of one bound call, by the member's parameter positions (0 = first).
class CallArgs {
public:
    // True when argument i was given and not left out.
    bool has(std::size_t i) const { return i < args_.size() && args_[i] && !args_[i]->deref().isMissing(); }

    // Argument i converted to the type of its parameter; `fallback` when it was left out.
    // DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW (and the argument's index in *argErr) when it
    // does not convert.
    HRESULT get(std::size_t i, std::int32_t& out, std::int32_t fallback = 0);
    HRESULT get(std::size_t i, std::int16_t& out, std::int16_t fallback = 0);
    HRESULT get(std::size_t i, std::int64_t& out, std::int64_t fallback = 0);
    HRESULT get(std::size_t i, std::u16string& out, std::u16string fallback = {});

    // Writes an out-argument; nothing when the caller left it out.
    void setOut(std::size_t i, Variant value);

private:
    friend HRESULT bindCall(const FuncDesc&, std::uint16_t, DispParams*, CallArgs&, std::uint32_t*);
    HRESULT convert(std::size_t i, std::uint16_t vt, Variant& out);
    std::vector<Variant*> args_;
    std::uint32_t count_ = 0;  // positional arguments of the call, for argErr
    std::uint32_t* argErr_ = nullptr;
    std::vector<std::uint32_t> slot_;  // argument i's index in DispParams::args
};

// Checks `params` against the member and fills `out`. DISP_E_BADPARAMCOUNT for too many or
// too few arguments, DISP_E_PARAMNOTOPTIONAL for a required one left out,
// DISP_E_PARAMNOTFOUND for a named argument other than a put's value, DISP_E_TYPEMISMATCH for
// an out-argument not passed by reference.
HRESULT bindCall(const FuncDesc& member, std::uint16_t flags, DispParams* params, CallArgs& out,
                 std::uint32_t* argErr);

using MemberBody = std::function<HRESULT(const FuncDesc& member, CallArgs& args, Variant* result)>;

// Invoke for an object described by `info`: finds the member (DISP_E_MEMBERNOTFOUND), binds
// the arguments and runs `body`. A failed body gives DISP_E_EXCEPTION with its code and the
// thread's error information in *excep (the information stays set for the caller too).
HRESULT dispatchCall(ITypeInfo* info, DISPID member, std::uint16_t flags, DispParams* params, Variant* result,
                     ExcepInfo* excep, std::uint32_t* argErr, const MemberBody& body);
// The same on the interface's description.
HRESULT dispatchCall(const TypeDesc& type, DISPID member, std::uint16_t flags, DispParams* params,
                     Variant* result, ExcepInfo* excep, std::uint32_t* argErr, const MemberBody& body);

// ---------------------------------------------------------------------------------------------
// Hosts.

struct InvokeResult {
    HRESULT hr = S_OK;  // what Invoke returned
    Variant value;      // the member's result
    ExcepInfo excep;    // filled for DISP_E_EXCEPTION
    std::uint32_t argErr = 0;

    bool ok() const { return succeeded(hr); }
    // The member's own failure code for DISP_E_EXCEPTION, else Invoke's result.
    HRESULT code() const { return hr == DISP_E_EXCEPTION && excep.scode != S_OK ? excep.scode : hr; }
};

// `args` in natural order. A property put sends its last argument as the named value.
InvokeResult invokeArgs(IDispatch* disp, DISPID member, std::uint16_t flags, std::span<Variant> args);

template <class... A>
InvokeResult invoke(IDispatch* disp, DISPID member, std::uint16_t flags, A&&... args) {
    std::array<Variant, sizeof...(A)> list{Variant(std::forward<A>(args))...};
    return invokeArgs(disp, member, flags, std::span<Variant>(list.data(), list.size()));
}

// The dispid of a member name through the object's GetIDsOfNames.
HRESULT dispidOf(IDispatch* disp, const std::u16string& name, DISPID* out);

}  // namespace com
