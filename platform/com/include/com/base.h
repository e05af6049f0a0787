// The component runtime's foundation: result codes, class and interface identifiers, the
// reference-counted IUnknown and a smart pointer for it.
//
// The runtime is one shared library (libcomrt.so) linked by the console and by every
// component, so that its process-wide state (apartments, the interface table, error
// information, loaded modules) exists once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace com {

// ---------------------------------------------------------------------------------------------
// Result codes: 32-bit values, negative (high bit set) on failure.

using HRESULT = std::int32_t;

constexpr HRESULT hresult(std::uint32_t value) {
    return static_cast<HRESULT>(value);
}
constexpr bool failed(HRESULT hr) {
    return hr < 0;
}
constexpr bool succeeded(HRESULT hr) {
    return hr >= 0;
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = hresult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = hresult(0x80004002);
inline constexpr HRESULT E_POINTER = hresult(0x80004003);
inline constexpr HRESULT E_ABORT = hresult(0x80004004);
inline constexpr HRESULT E_FAIL = hresult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = hresult(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = hresult(0x80070005);
inline constexpr HRESULT E_OUTOFMEMORY = hresult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = hresult(0x80070057);

inline constexpr HRESULT CLASS_E_NOAGGREGATION = hresult(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hresult(0x80040111);
inline constexpr HRESULT REGDB_E_READREGDB = hresult(0x80040150);
inline constexpr HRESULT REGDB_E_WRITEREGDB = hresult(0x80040151);
inline constexpr HRESULT REGDB_E_KEYMISSING = hresult(0x80040152);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = hresult(0x80040154);
inline constexpr HRESULT CO_E_NOTINITIALIZED = hresult(0x800401F0);
inline constexpr HRESULT CO_E_CLASSSTRING = hresult(0x800401F3);
inline constexpr HRESULT CO_E_DLLNOTFOUND = hresult(0x800401F8);
inline constexpr HRESULT CO_E_ERRORINDLL = hresult(0x800401F9);
inline constexpr HRESULT CO_E_OBJNOTCONNECTED = hresult(0x800401FD);

inline constexpr HRESULT CONNECT_E_NOCONNECTION = hresult(0x80040200);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = hresult(0x80040201);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = hresult(0x80040202);
inline constexpr HRESULT SELFREG_E_TYPELIB = hresult(0x80040200);
inline constexpr HRESULT SELFREG_E_CLASS = hresult(0x80040201);

inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = hresult(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = hresult(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = hresult(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = hresult(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = hresult(0x80020006);
inline constexpr HRESULT DISP_E_BADVARTYPE = hresult(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = hresult(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = hresult(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = hresult(0x8002000B);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = hresult(0x8002000E);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = hresult(0x8002000F);
inline constexpr HRESULT TYPE_E_LIBNOTREGISTERED = hresult(0x8002801D);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = hresult(0x8002802B);

inline constexpr HRESULT RPC_E_CALL_CANCELED = hresult(0x80010002);
inline constexpr HRESULT RPC_E_DISCONNECTED = hresult(0x80010108);
inline constexpr HRESULT RPC_E_WRONG_THREAD = hresult(0x8001010E);

// The symbolic name of a known code ("E_INVALIDARG"), else "0x" and eight hex digits.
std::string resultName(HRESULT hr);

// ---------------------------------------------------------------------------------------------
// Identifiers.

struct GUID {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};

    friend bool operator==(const GUID&, const GUID&) = default;
    bool isNull() const { return *this == GUID{}; }

    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
    std::string toString() const;
    // Accepts the braced form above in either case; nullopt for anything else.
    static std::optional<GUID> parse(std::string_view text);
};
using IID = GUID;
using CLSID = GUID;

struct GuidHash {
    std::size_t operator()(const GUID& g) const noexcept;
};

// The identifiers of the standard interfaces, with their well-known values.
extern const IID IID_IUnknown;
extern const IID IID_IClassFactory;
extern const IID IID_IDispatch;
extern const IID IID_IConnectionPoint;
extern const IID IID_IConnectionPointContainer;
extern const IID IID_ISupportErrorInfo;
extern const IID IID_IProvideClassInfo;
extern const IID IID_IProvideClassInfo2;
extern const IID IID_ITypeInfo;
extern const IID IID_ITypeLib;
extern const IID IID_NULL;

// ---------------------------------------------------------------------------------------------
// Reference-counted interfaces.

class IUnknown {
public:
    virtual HRESULT QueryInterface(const IID& iid, void** out) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    ~IUnknown() = default;  // objects are destroyed by Release, never by delete
};

// What the object helpers (com/object.h) need to know of an interface: its identifier and the
// interface it extends. Each interface states it beside its declaration:
//     template <> struct InterfaceTraits<IDispatch> : InterfaceInfo<IID_IDispatch, IUnknown> {};
template <class I>
struct InterfaceTraits;

template <const IID& id, class Base>
struct InterfaceInfo {
    static constexpr const IID& iid = id;
    using Extends = Base;  // void for IUnknown
};

template <>
struct InterfaceTraits<IUnknown> : InterfaceInfo<IID_IUnknown, void> {};

// Owns one reference. Attach takes over a reference the caller already holds (the result of
// a QueryInterface or a factory), the constructor from a raw pointer adds one.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
    ComPtr(const ComPtr<U>& o) : p_(o.get()) {
        if (p_) p_->AddRef();
    }
    ~ComPtr() { reset(); }

    ComPtr& operator=(const ComPtr& o) {
        ComPtr(o).swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept {
        ComPtr(std::move(o)).swap(*this);
        return *this;
    }

    static ComPtr attach(T* p) {
        ComPtr r;
        r.p_ = p;
        return r;
    }
    T* detach() { return std::exchange(p_, nullptr); }
    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    void swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // For out-parameters: releases what is held and gives the slot to fill.
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    // QueryInterface for another interface; an empty pointer when it is not supported.
    template <class U>
    ComPtr<U> as(const IID& iid) const {
        ComPtr<U> r;
        if (p_) p_->QueryInterface(iid, r.putVoid());
        return r;
    }

private:
    T* p_ = nullptr;
};

}  // namespace com
