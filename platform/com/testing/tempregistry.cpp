#include <com/apartment.h>
#include <comtest/tempregistry.h>
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

}  // namespace comtest
