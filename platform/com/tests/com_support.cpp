#include "com_support.h"

#include <com/activation.h>
#include <com/apartment.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace comtest {

TempRegistry::TempRegistry() {
    char tmpl[] = "/tmp/comreg-test-XXXXXX";
    folder_ = ::mkdtemp(tmpl);
    path_ = folder_ + "/registry";
    if (const char* old = std::getenv("COM_REGISTRY_FILE")) {
        saved_ = old;
        hadSaved_ = true;
    }
    ::setenv("COM_REGISTRY_FILE", path_.c_str(), 1);
}

TempRegistry::~TempRegistry() {
    if (hadSaved_)
        ::setenv("COM_REGISTRY_FILE", saved_.c_str(), 1);
    else
        ::unsetenv("COM_REGISTRY_FILE");
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

com::Registry TempRegistry::load() const {
    com::Registry r;
    std::string why;
    EXPECT_EQ(com::loadRegistry(r, &why), com::S_OK) << why;
    return r;
}

void TempRegistry::write(const std::string& text) const {
    std::ofstream(path_, std::ios::binary) << text;
}

std::string TempRegistry::read() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

ApartmentScope::ApartmentScope() {
    com::initializeApartment();
}
ApartmentScope::~ApartmentScope() {
    com::uninitializeApartment();
}

std::string counterModule() {
    return com::programFolder() + "/libComTest.so";
}

long callExport(const std::string& module, const char* name) {
    void* h = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) return -1;
    auto fn = reinterpret_cast<com::HRESULT (*)()>(::dlsym(h, name));
    long r = fn ? fn() : -1;
    ::dlclose(h);
    return r;
}

}  // namespace comtest
