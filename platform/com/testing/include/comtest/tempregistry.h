// What the tests of the runtime and of its components share: a private registry file and an
// apartment for the test's thread.
#pragma once

#include <com/registry.h>

#include <string>

namespace comtest {

// Points COM_REGISTRY_FILE at a fresh file in a temporary folder for the object's lifetime,
// and removes the folder afterwards.
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

// The calling thread's apartment, for the life of the object.
class ApartmentScope {
public:
    ApartmentScope();
    ~ApartmentScope();
    ApartmentScope(const ApartmentScope&) = delete;
    ApartmentScope& operator=(const ApartmentScope&) = delete;
};

}  // namespace comtest
