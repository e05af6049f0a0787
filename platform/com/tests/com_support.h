// Shared pieces of the runtime's tests: a private registry file, an apartment for the test's
// thread, and the test component beside the test programs.
#pragma once

#include <com/registry.h>

#include <string>

namespace comtest {

// Points COM_REGISTRY_FILE at a fresh file in a temporary folder for the object's lifetime.
class TempRegistry {
public:
    TempRegistry();
    ~TempRegistry();
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;

    const std::string& path() const { return path_; }
    const std::string& folder() const { return folder_; }
    com::Registry load() const;  // fails the test when the file does not load
    void write(const std::string& text) const;
    std::string read() const;

private:
    std::string folder_, path_, saved_;
    bool hadSaved_ = false;
};

class ApartmentScope {
public:
    ApartmentScope();
    ~ApartmentScope();
};

// Full path of libComTest.so (beside the test program).
std::string counterModule();
// Calls an export of a module file (DllRegisterServer or DllUnregisterServer).
long callExport(const std::string& module, const char* name);

}  // namespace comtest
