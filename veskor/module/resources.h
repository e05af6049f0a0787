// The resources of libVeskorMod.so: registration script 102, type library 1, string 100 and
// the version block.
#pragma once

#include <com/module.h>

namespace veskor {

extern const com::ModuleResources kModuleResources;
// The registration script as it is applied (before %MODULE% is replaced).
extern const char kRegistrationScript[];

}  // namespace veskor
