// Late-bound access to IVeskor: a call that com::Dispatch has bound against the member's
// description in the type library, made on the C++ interface, so both ways in behave the same.
#pragma once

#include <com/dispatch.h>
#include <veskor/veskor.h>

namespace veskor {

HRESULT invokeVeskor(IVeskor* self, const com::FuncDesc& member, com::CallArgs& args, com::Variant* result);

}  // namespace veskor
