// IProvideClassInfo and IProvideClassInfo2 of the Veskor object, as a tear-off: a small
// object made on demand that answers these two and hands every other request to its owner.
#pragma once

#include <com/base.h>

namespace veskor {

// For the owner's QueryInterface: `out` receives the tear-off holding a reference on `owner`.
com::HRESULT provideClassInfo(com::IUnknown* owner, void** out);

}  // namespace veskor
