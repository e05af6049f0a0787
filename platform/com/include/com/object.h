// Helpers for writing objects: reference counting and QueryInterface from a list of the
// interfaces an object implements, and IDispatch from a type description.
//
//     class Thing final : public com::Object<IThing, com::IConnectionPointContainer> { ... };
//     auto thing = com::ComPtr<Thing>::attach(new Thing);   // born with one reference
//
// QueryInterface answers each listed interface and every interface it extends (IThing answers
// IThing, IDispatch and IUnknown); IUnknown is always the first one's, the object's identity.
// An entry As<I, IID_X> also answers IID_X with I: an event sink answers its outgoing
// interface with IDispatch.
#pragma once

#include <com/base.h>
#include <com/dispatch.h>
#include <com/interfaces.h>
#include <com/typelib.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <tuple>
#include <type_traits>

namespace com {

// A list entry: implements I, and answers the identifiers `alsoAs` with it as well.
template <class I, const IID&... alsoAs>
struct As {};

namespace detail {

template <class Entry>
struct EntryOf {
    using Interface = Entry;
    static bool alias(const IID&) { return false; }
};
template <class I, const IID&... alsoAs>
struct EntryOf<As<I, alsoAs...>> {
    using Interface = I;
    static bool alias(const IID& iid) { return ((iid == alsoAs) || ...); }
};

template <class Entry>
using InterfaceOf = typename EntryOf<Entry>::Interface;

// `self` as the interface that answers `iid` among I and the interfaces I extends; nullptr
// when none does. The pointer is converted to the answering interface's own type.
template <class I, class Self>
void* answer(Self* self, const IID& iid) {
    I* as = static_cast<I*>(self);
    if (iid == InterfaceTraits<I>::iid) return as;
    if constexpr (std::is_void_v<typename InterfaceTraits<I>::Extends>)
        return nullptr;
    else
        return answer<typename InterfaceTraits<I>::Extends>(as, iid);
}

template <class Entry, class Self>
void* answerEntry(Self* self, const IID& iid) {
    using I = InterfaceOf<Entry>;
    if (EntryOf<Entry>::alias(iid)) return static_cast<I*>(self);
    return answer<I>(self, iid);
}

}  // namespace detail

// QueryInterface over the list `Entries` of interfaces that `self` implements: the first entry
// that answers `iid`, with a reference added. For objects whose counting is their own (a static
// class object whose references lock its module).
template <class... Entries, class Self>
HRESULT queryInterface(Self* self, const IID& iid, void** out) {
    if (!out) return E_POINTER;
    void* found = nullptr;
    ((found = found ? found : detail::answerEntry<Entries>(self, iid)), ...);
    *out = found;
    if (!found) return E_NOINTERFACE;
    using First = detail::InterfaceOf<std::tuple_element_t<0, std::tuple<Entries...>>>;
    static_cast<First*>(self)->AddRef();
    return S_OK;
}

// A reference-counted object implementing the interfaces of `Entries`. It is born with one
// reference (take it with ComPtr::attach) and deletes itself when the last one is released.
// The count is atomic: references may be taken and dropped on any thread.
template <class... Entries>
class Object : public detail::InterfaceOf<Entries>... {
public:
    HRESULT QueryInterface(const IID& iid, void** out) override {
        return queryInterface<Entries...>(this, iid, out);
    }
    std::uint32_t AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    std::uint32_t Release() override {
        const std::uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

protected:
    Object() = default;
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

private:
    std::atomic<std::uint32_t> refs_{1};
};

// IDispatch's four members for an object whose interface a type description declares: names
// are looked up in the description, and each call is bound against its member's description
// (argument count, optional arguments, the put's value, out-arguments: com/dispatch.h) and
// handed to invokeMember. `Base` is the Object<...> the class builds on; its first interface
// is IDispatch or extends it. Nothing thrown inside a call crosses Invoke: no memory gives
// E_OUTOFMEMORY, anything else E_UNEXPECTED.
template <class Base>
class Dispatch : public Base {
public:
    HRESULT GetTypeInfoCount(std::uint32_t* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(std::uint32_t index, LCID, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return typeInfo(out);
    }
    HRESULT GetIDsOfNames(const IID& riid, const std::u16string* names, std::uint32_t count, LCID,
                          DISPID* ids) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        return namesToIds(typeDesc(), names, count, ids);
    }
    HRESULT Invoke(DISPID member, const IID& riid, LCID, std::uint16_t flags, DispParams* params,
                   Variant* result, ExcepInfo* excep, std::uint32_t* argErr) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        try {
            return dispatchCall(
                typeDesc(), member, flags, params, result, excep, argErr,
                [this](const FuncDesc& f, CallArgs& args, Variant* r) { return invokeMember(f, args, r); });
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

protected:
    // The interface's description, which calls and names are bound against.
    virtual const TypeDesc& typeDesc() = 0;
    // The type information GetTypeInfo hands out (it may keep the module loaded).
    virtual HRESULT typeInfo(ITypeInfo** out) = 0;
    // Runs one call, already bound to `member`.
    virtual HRESULT invokeMember(const FuncDesc& member, CallArgs& args, Variant* result) = 0;
};

// An object called only through Invoke, by dispid, that describes nothing (no type
// information, no names): an event sink, or a proxy that forwards calls. It answers IUnknown,
// IDispatch, and each of `alsoAs` (the outgoing interface a connection point asks a sink for)
// as IDispatch. The class writes Invoke.
template <const IID&... alsoAs>
class DispatchSink : public Object<As<IDispatch, alsoAs...>> {
public:
    HRESULT GetTypeInfoCount(std::uint32_t* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(const IID&, const std::u16string*, std::uint32_t, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
};

}  // namespace com
