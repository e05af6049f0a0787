// Shared pieces of the runtime's tests: the test component beside the test programs (the
// private registry and the apartment scope come from comtest/tempregistry.h).
#pragma once

#include <comtest/tempregistry.h>

#include <string>

namespace comtest {

// Full path of libComTest.so (beside the test program).
std::string counterModule();
// Calls an export of a module file (DllRegisterServer or DllUnregisterServer).
long callExport(const std::string& module, const char* name);

}  // namespace comtest
