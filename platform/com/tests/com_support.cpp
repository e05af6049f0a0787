#include "com_support.h"

#include <com/activation.h>
#include <dlfcn.h>

namespace comtest {

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
