// The variant that dispatch calls carry: a tagged value of one of the automation types.
// Texts are UTF-16 strings (the interface's wide strings).
#pragma once

#include <com/base.h>

#include <cstdint>
#include <string>

namespace com {

class IDispatch;

enum VarType : std::uint16_t {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_UI1 = 17,
    VT_I8 = 20,  // pointer-sized addresses travel as 64-bit integers
    VT_BYREF = 0x4000,
};

// Automation truth values.
inline constexpr std::int16_t VARIANT_TRUE = -1;
inline constexpr std::int16_t VARIANT_FALSE = 0;

// A value, or with VT_BYREF a reference to the caller's storage (out-arguments): then `ref`
// points at the caller's Variant and the base type says what it must hold.
class Variant {
public:
    std::uint16_t vt = VT_EMPTY;
    union {
        std::int16_t i2;
        std::int32_t i4;
        std::int64_t i8;
        double r8;
        std::int16_t boolean;
        HRESULT scode;
        std::uint8_t ui1;
        Variant* ref;
    };
    std::u16string str;        // VT_BSTR
    ComPtr<IUnknown> unknown;  // VT_UNKNOWN and VT_DISPATCH (the object, as IUnknown)

    Variant() : i8(0) {}
    Variant(std::int16_t v) : vt(VT_I2), i8(0) { i2 = v; }
    Variant(std::int32_t v) : vt(VT_I4), i8(0) { i4 = v; }
    Variant(std::int64_t v) : vt(VT_I8), i8(v) {}
    Variant(double v) : vt(VT_R8), r8(v) {}
    Variant(std::u16string v) : vt(VT_BSTR), i8(0), str(std::move(v)) {}
    Variant(const char16_t* v) : vt(VT_BSTR), i8(0), str(v) {}

    static Variant boolean16(bool v) {
        Variant r;
        r.vt = VT_BOOL;
        r.boolean = v ? VARIANT_TRUE : VARIANT_FALSE;
        return r;
    }
    static Variant error(HRESULT code) {
        Variant r;
        r.vt = VT_ERROR;
        r.scode = code;
        return r;
    }
    // An optional argument left out: VT_ERROR with DISP_E_PARAMNOTFOUND, as automation passes it.
    static Variant missing() { return error(DISP_E_PARAMNOTFOUND); }
    static Variant byRef(Variant& target) {
        Variant r;
        r.vt = static_cast<std::uint16_t>(VT_BYREF | VT_VARIANT);
        r.ref = &target;
        return r;
    }

    bool isMissing() const { return vt == VT_ERROR && scode == DISP_E_PARAMNOTFOUND; }
    bool isByRef() const { return (vt & VT_BYREF) != 0; }
    // The value itself: the referenced Variant for a by-reference argument, else this one.
    const Variant& deref() const { return isByRef() ? *ref : *this; }
    Variant& deref() { return isByRef() ? *ref : *this; }
};

// Converts `in` (by-reference followed) to the type `vt` as automation coerces: numbers
// between the integer types with range checks (DISP_E_OVERFLOW), doubles rounded to nearest
// even, texts parsed as numbers, numbers formatted as texts, VT_BOOL to and from numbers.
// DISP_E_TYPEMISMATCH when no conversion exists.
HRESULT changeType(Variant& out, const Variant& in, std::uint16_t vt);

}  // namespace com
