// Type libraries: what a module declares about its classes and interfaces (names, dispids,
// argument types, optional arguments, help strings), kept as constant data in the module and
// served through ITypeLib and ITypeInfo. Hosts use them to look up dispids by name
// (GetIDsOfNames), the dispatch helpers to check a call's arguments, and the registration
// program to list a module's declarations.
#pragma once

#include <com/base.h>
#include <com/interfaces.h>
#include <com/registry.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace com {

inline constexpr DISPID MEMBERID_NIL = -1;

enum ParamFlags : std::uint16_t {
    PARAMFLAG_FIN = 1,
    PARAMFLAG_FOUT = 2,
    PARAMFLAG_FRETVAL = 8,
    PARAMFLAG_FOPT = 16,
};

enum ImplTypeFlags : std::int32_t {
    IMPLTYPEFLAG_FDEFAULT = 1,
    IMPLTYPEFLAG_FSOURCE = 2,
};

enum class TypeKind : std::uint8_t {
    Dispatch,  // a dispatch interface (dispinterface): reached only through Invoke
    Dual,      // an interface with both a C++ vtable and dispatch access
    CoClass,   // a creatable class
};

// One argument. `vt` is the value's type; an out-argument (PARAMFLAG_FOUT) is passed by
// reference and receives a value of that type.
struct ParamDesc {
    const char* name;
    std::uint16_t vt;
    std::uint16_t flags;
};

// One member. A property's get and put are two entries with the same dispid; a put's last
// parameter is the new value. `resultVt` is the type the member returns (VT_EMPTY: none).
struct FuncDesc {
    const char* name;
    DISPID id;
    std::uint16_t invokeKind;  // DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
    std::uint16_t resultVt;
    const char* help;
    std::span<const ParamDesc> params;

    std::uint32_t requiredCount() const;
};

struct ImplTypeDesc {
    const GUID* iid;
    std::int32_t flags;  // ImplTypeFlags
};

struct TypeDesc {
    TypeKind kind;
    const char* name;
    GUID guid;
    const char* help;
    std::span<const FuncDesc> funcs;      // interfaces
    std::span<const ImplTypeDesc> impls;  // coclasses: the interfaces they implement
};

struct TypeLibDesc {
    const char* name;
    GUID libid;
    std::uint16_t major;
    std::uint16_t minor;
    LCID lcid;
    const char* help;
    std::span<const TypeDesc> types;
};

class ITypeLib;

class ITypeInfo : public IUnknown {
public:
    // The description this type information serves; it lives as long as this object.
    virtual const TypeDesc& GetTypeDesc() = 0;
    // names[0] is a member name, names[1..] names of its parameters, compared without regard
    // to case. ids[0] is the member's dispid, ids[i] the position of parameter i. Unknown
    // names get DISPID_UNKNOWN and the result DISP_E_UNKNOWNNAME.
    virtual HRESULT GetIDsOfNames(const std::u16string* names, std::uint32_t count, DISPID* ids) = 0;
    // The member's name and help string; MEMBERID_NIL gives the type's own.
    virtual HRESULT GetDocumentation(DISPID member, std::u16string* name, std::u16string* help) = 0;
    // The member with this dispid that answers `invokeKind` (a get also answers a method call
    // without arguments, as automation hosts make them). DISP_E_MEMBERNOTFOUND otherwise.
    virtual HRESULT FindMember(DISPID member, std::uint16_t invokeKind, const FuncDesc** out) = 0;
    // Coclasses: the type information of the index-th implemented interface and its flags.
    virtual HRESULT GetRefTypeOfImplType(std::uint32_t index, ITypeInfo** out) = 0;
    virtual HRESULT GetImplTypeFlags(std::uint32_t index, std::int32_t* flags) = 0;
    virtual HRESULT GetContainingTypeLib(ITypeLib** lib, std::uint32_t* index) = 0;

protected:
    ~ITypeInfo() = default;
};
template <>
struct InterfaceTraits<ITypeInfo> : InterfaceInfo<IID_ITypeInfo, IUnknown> {};

class ITypeLib : public IUnknown {
public:
    virtual const TypeLibDesc& GetLibDesc() = 0;
    virtual std::uint32_t GetTypeInfoCount() = 0;
    virtual HRESULT GetTypeInfo(std::uint32_t index, ITypeInfo** out) = 0;
    // TYPE_E_ELEMENTNOTFOUND for a GUID the library does not declare.
    virtual HRESULT GetTypeInfoOfGuid(const GUID& guid, ITypeInfo** out) = 0;

protected:
    ~ITypeLib() = default;
};
template <>
struct InterfaceTraits<ITypeLib> : InterfaceInfo<IID_ITypeLib, IUnknown> {};

// What a control offers to tell its host about its class: the coclass's type information
// and, through IProvideClassInfo2, the dispatch interface of its default event source.
class IProvideClassInfo : public IUnknown {
public:
    virtual HRESULT GetClassInfo(ITypeInfo** out) = 0;

protected:
    ~IProvideClassInfo() = default;
};
template <>
struct InterfaceTraits<IProvideClassInfo> : InterfaceInfo<IID_IProvideClassInfo, IUnknown> {};

inline constexpr std::uint32_t GUIDKIND_DEFAULT_SOURCE_DISP_IID = 1;

class IProvideClassInfo2 : public IProvideClassInfo {
public:
    // GUIDKIND_DEFAULT_SOURCE_DISP_IID gives the default source interface; E_INVALIDARG for
    // any other kind.
    virtual HRESULT GetGUID(std::uint32_t kind, GUID* out) = 0;

protected:
    ~IProvideClassInfo2() = default;
};
template <>
struct InterfaceTraits<IProvideClassInfo2> : InterfaceInfo<IID_IProvideClassInfo2, IProvideClassInfo> {};

// The look-ups of ITypeInfo, on a description itself (for an object that serves its own).
HRESULT namesToIds(const TypeDesc& type, const std::u16string* names, std::uint32_t count, DISPID* ids);
HRESULT findMember(const TypeDesc& type, DISPID member, std::uint16_t invokeKind, const FuncDesc** out);

// The IID of the interface that a coclass marks with `flags` (IMPLTYPEFLAG_FDEFAULT, or
// with IMPLTYPEFLAG_FSOURCE as well for the default source). False when it has none.
bool implementedInterface(const TypeDesc& coclass, std::int32_t flags, GUID* out);

// Serves `desc`. `keepAlive` is held until the last reference to the library or any of its
// type information is gone: it keeps the module that owns `desc` loaded.
HRESULT createTypeLib(const TypeLibDesc& desc, ITypeLib** out, std::shared_ptr<const void> keepAlive = {});

// The type library of a module file (its type library resource 1), or by its registration.
// The module stays loaded while the library is in use.
HRESULT loadTypeLib(const std::string& modulePath, ITypeLib** out);
HRESULT loadRegTypeLib(const GUID& libid, std::uint16_t major, std::uint16_t minor, ITypeLib** out);

// Registration of a type library:
//   HKCR\TypeLib\{libid}\<major.minor>          @ = the library's help string
//       \<lcid in hex>\linux64                  @ = the module's full path
//       \FLAGS = "0", \HELPDIR = the module's folder
//   HKCR\Interface\{iid}                        @ = the interface's name, for each interface
//       \TypeLib = {libid} with "Version" = "major.minor"
// Unregistration removes the version key and the interface keys whole, and the library's key
// when no other version is left.
void registerTypeLib(Registry& r, const TypeLibDesc& desc, const std::string& modulePath);
void unregisterTypeLib(Registry& r, const TypeLibDesc& desc);

std::string versionText(std::uint16_t major, std::uint16_t minor);

}  // namespace com
