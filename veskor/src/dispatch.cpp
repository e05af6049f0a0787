// IVeskor by dispatch identifier: each call, bound by com::Dispatch against the member's
// description, is made on the C++ interface, so both ways in behave the same. The binder of
// each member is generated from its row (veskor/members.h) and its C++ signature.
#include "dispatch.h"

#include <iterator>
#include <tuple>
#include <utility>

#include "typelibrary.h"

using namespace com;

namespace veskor {

namespace {

// One parameter of a member's C++ signature: filled from the bound call before the member
// runs (`in`), passed to it (`arg`), and written back after it succeeded (`out`). Position
// `i` is the parameter's in the description; the pointer after the last one is the result.
template <class P>
struct Slot {  // a required number
    P value{};
    HRESULT in(CallArgs& a, std::size_t i, const FuncDesc&) { return a.get(i, value); }
    P arg() { return value; }
    void out(CallArgs&, std::size_t, Variant*) {}
};

template <>
struct Slot<const std::u16string&> {  // a required text
    std::u16string value;
    HRESULT in(CallArgs& a, std::size_t i, const FuncDesc&) { return a.get(i, value); }
    const std::u16string& arg() { return value; }
    void out(CallArgs&, std::size_t, Variant*) {}
};

template <>
struct Slot<Variant> {  // optional: converted to its declared type, or missing
    Variant value;
    Variant target;  // an optional out-argument's value
    bool output = false;

    HRESULT in(CallArgs& a, std::size_t i, const FuncDesc& f) {
        const ParamDesc& p = f.params[i];
        if (!a.has(i)) {
            value = Variant::missing();
            return S_OK;
        }
        if (p.flags & PARAMFLAG_FOUT) {
            output = true;
            value = Variant::byRef(target);
            return S_OK;
        }
        HRESULT hr = S_OK;
        if (p.vt == VT_BSTR) {
            std::u16string text;
            hr = a.get(i, text);
            value = Variant(std::move(text));
        } else {
            std::int32_t number = 0;
            hr = a.get(i, number);
            value = Variant(number);
        }
        return hr;
    }
    Variant arg() { return value; }
    void out(CallArgs& a, std::size_t i, Variant*) {
        if (output) a.setOut(i, target);
    }
};

template <class T>
struct Slot<T*> {  // an out-argument, or the member's result
    T value{};
    std::size_t params = 0;
    HRESULT in(CallArgs&, std::size_t, const FuncDesc& f) {
        params = f.params.size();
        return S_OK;
    }
    T* arg() { return &value; }
    void out(CallArgs& a, std::size_t i, Variant* result) {
        if (i < params)
            a.setOut(i, Variant(value));
        else
            *result = Variant(std::move(value));
    }
};

template <class... P, std::size_t... I>
HRESULT call(IVeskor* v, HRESULT (IVeskor::*member)(P...), const FuncDesc& f, CallArgs& a,
             [[maybe_unused]] Variant* result, std::index_sequence<I...>) {
    std::tuple<Slot<P>...> slots;
    HRESULT hr = S_OK;
    // In order: the first argument that does not convert ends the call.
    ((hr = succeeded(hr) ? std::get<I>(slots).in(a, I, f) : hr), ...);
    if (failed(hr)) return hr;
    hr = (v->*member)(std::get<I>(slots).arg()...);
    if (failed(hr)) return hr;
    (std::get<I>(slots).out(a, I, result), ...);
    return hr;
}

using Binder = HRESULT (*)(IVeskor*, const FuncDesc&, CallArgs&, Variant*);

template <auto member>
HRESULT bind(IVeskor* v, const FuncDesc& f, CallArgs& a, Variant* result) {
    return [&]<class... P>(HRESULT (IVeskor::*m)(P...)) {
        return call(v, m, f, a, result, std::index_sequence_for<P...>{});
    }(member);
}

// One binder per entry of the type library's member list, in the same order.
#define VESKOR_PROPERTY(Name, dispid, Type) &bind<&IVeskor::get_##Name>, &bind<&IVeskor::put_##Name>,
#define VESKOR_READONLY(Name, dispid, Type) &bind<&IVeskor::get_##Name>,
#define VESKOR_METHOD(Name, dispid, Result, params) &bind<&IVeskor::Name>,
#define VESKOR_NONE(...)
constexpr Binder kBinders[] = {VESKOR_MEMBERS(VESKOR_PROPERTY, VESKOR_READONLY, VESKOR_METHOD, VESKOR_NONE,
                                              VESKOR_NONE, VESKOR_NONE, VESKOR_NONE)};
#undef VESKOR_PROPERTY
#undef VESKOR_READONLY
#undef VESKOR_METHOD
#undef VESKOR_NONE
static_assert(std::size(kBinders) == 46, "one binder per member of the type library");

}  // namespace

HRESULT invokeVeskor(IVeskor* self, const FuncDesc& member, CallArgs& args, Variant* result) {
    const auto index = static_cast<std::size_t>(&member - veskorInterfaceDesc().funcs.data());
    if (index >= std::size(kBinders)) return DISP_E_MEMBERNOTFOUND;
    return kBinders[index](self, member, args, result);
}

}  // namespace veskor
