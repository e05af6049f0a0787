// Placeholder until the dispatch tables exist: late-bound calls are not available yet.
#include "dispatch.h"

namespace veskor {

HRESULT veskorGetTypeInfoCount(IVeskor*, std::uint32_t* count) {
    if (count) *count = 0;
    return com::E_NOTIMPL;
}
HRESULT veskorGetTypeInfo(IVeskor*, std::uint32_t, com::LCID, com::ITypeInfo** out) {
    if (out) *out = nullptr;
    return com::E_NOTIMPL;
}
HRESULT veskorGetIDsOfNames(IVeskor*, const com::IID&, const std::u16string*, std::uint32_t, com::LCID,
                            com::DISPID*) {
    return com::E_NOTIMPL;
}
HRESULT veskorInvoke(IVeskor*, com::DISPID, const com::IID&, com::LCID, std::uint16_t, com::DispParams*,
                     com::Variant*, com::ExcepInfo*, std::uint32_t*) {
    return com::E_NOTIMPL;
}

}  // namespace veskor
