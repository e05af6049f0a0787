// Late-bound access to IVeskor: the Veskor object's four IDispatch members forward here, so the
// dispatch tables (names, dispids, argument coercion, type information) live in one place.
#pragma once

#include <com/interfaces.h>
#include <veskor/veskor.h>

#include <cstdint>
#include <string>

namespace veskor {

HRESULT veskorGetTypeInfoCount(IVeskor* self, std::uint32_t* count);
HRESULT veskorGetTypeInfo(IVeskor* self, std::uint32_t index, com::LCID lcid, com::ITypeInfo** out);
HRESULT veskorGetIDsOfNames(IVeskor* self, const com::IID& riid, const std::u16string* names,
                            std::uint32_t count, com::LCID lcid, com::DISPID* ids);
// Calls the member `member` of `self` with the arguments of `params` (reverse order), as
// IDispatch::Invoke does; a failing member gives DISP_E_EXCEPTION with `excep` filled from the
// thread's error information.
HRESULT veskorInvoke(IVeskor* self, com::DISPID member, const com::IID& riid, com::LCID lcid,
                     std::uint16_t flags, com::DispParams* params, com::Variant* result,
                     com::ExcepInfo* excep, std::uint32_t* argErr);

}  // namespace veskor
