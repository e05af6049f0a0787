// The standard interfaces that the component and its hosts share: dispatch, class factories,
// connection points and error-information support.
#pragma once

#include <com/base.h>
#include <com/variant.h>

#include <cstdint>
#include <string>

namespace com {

using DISPID = std::int32_t;
using LCID = std::uint32_t;

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr LCID LOCALE_USER_DEFAULT = 1024;

enum DispatchFlags : std::uint16_t {
    DISPATCH_METHOD = 1,
    DISPATCH_PROPERTYGET = 2,
    DISPATCH_PROPERTYPUT = 4,
};

// The arguments of one dispatch call, in reverse order as automation passes them: args[0] is
// the last argument. A property put carries one named argument, DISPID_PROPERTYPUT.
struct DispParams {
    Variant* args = nullptr;
    DISPID* namedArgs = nullptr;
    std::uint32_t count = 0;
    std::uint32_t namedCount = 0;
};

// What a failing member reports back to the caller of Invoke (DISP_E_EXCEPTION).
struct ExcepInfo {
    std::u16string source;
    std::u16string description;
    HRESULT scode = S_OK;
};

class ITypeInfo;

class IDispatch : public IUnknown {
public:
    virtual HRESULT GetTypeInfoCount(std::uint32_t* count) = 0;
    virtual HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** out) = 0;
    virtual HRESULT GetIDsOfNames(const IID& riid, const std::u16string* names, std::uint32_t count,
                                  LCID lcid, DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID member, const IID& riid, LCID lcid, std::uint16_t flags, DispParams* params,
                           Variant* result, ExcepInfo* excep, std::uint32_t* argErr) = 0;

protected:
    ~IDispatch() = default;
};
template <>
struct InterfaceTraits<IDispatch> : InterfaceInfo<IID_IDispatch, IUnknown> {};

class IClassFactory : public IUnknown {
public:
    virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** out) = 0;
    virtual HRESULT LockServer(bool lock) = 0;

protected:
    ~IClassFactory() = default;
};
template <>
struct InterfaceTraits<IClassFactory> : InterfaceInfo<IID_IClassFactory, IUnknown> {};

class IConnectionPointContainer;

class IConnectionPoint : public IUnknown {
public:
    virtual HRESULT GetConnectionInterface(IID* iid) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) = 0;
    virtual HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) = 0;
    virtual HRESULT Unadvise(std::uint32_t cookie) = 0;

protected:
    ~IConnectionPoint() = default;
};
template <>
struct InterfaceTraits<IConnectionPoint> : InterfaceInfo<IID_IConnectionPoint, IUnknown> {};

class IConnectionPointContainer : public IUnknown {
public:
    virtual HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** out) = 0;

protected:
    ~IConnectionPointContainer() = default;
};
template <>
struct InterfaceTraits<IConnectionPointContainer> : InterfaceInfo<IID_IConnectionPointContainer, IUnknown> {};

class ISupportErrorInfo : public IUnknown {
public:
    // S_OK when the object sets error information for failures of interface `iid`.
    virtual HRESULT InterfaceSupportsErrorInfo(const IID& iid) = 0;

protected:
    ~ISupportErrorInfo() = default;
};
template <>
struct InterfaceTraits<ISupportErrorInfo> : InterfaceInfo<IID_ISupportErrorInfo, IUnknown> {};

}  // namespace com
