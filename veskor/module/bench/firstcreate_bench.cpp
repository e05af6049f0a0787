// The first creation of the control by ProgID in a fresh process: registry look-up, module
// load (dlopen and its relocations), class object and the object itself. A process can do
// this only once, so the program measures it once and prints the figure; run it several
// times for a spread. Later creations are measured too, for contrast.
#include <com/activation.h>
#include <com/apartment.h>
#include <com/registry.h>
#include <veskor/veskor.h>

#include <chrono>
#include <cstdio>

int main() {
    using clock = std::chrono::steady_clock;
    com::initializeApartment();
    const std::string module = com::programFolder() + "/libVeskorMod.so";
    if (com::isModuleLoaded(module)) {
        std::fprintf(stderr, "firstcreate_bench: the module is already loaded\n");
        return 1;
    }
    auto t0 = clock::now();
    com::ComPtr<com::IDispatch> first;
    com::HRESULT hr = com::createInstance("VeskorMod.Veskor", com::IID_IDispatch, first);
    auto t1 = clock::now();
    if (com::failed(hr)) {
        std::fprintf(stderr, "firstcreate_bench: creation failed with %s\n", com::resultName(hr).c_str());
        return 1;
    }
    constexpr int kAgain = 100;
    auto t2 = clock::now();
    for (int i = 0; i < kAgain; ++i) {
        com::ComPtr<com::IDispatch> again;
        com::createInstance("VeskorMod.Veskor", com::IID_IDispatch, again);
    }
    auto t3 = clock::now();
    auto us = [](clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); };
    std::printf("registry: %s\n", com::registryPath().c_str());
    std::printf("first creation by ProgID (module load included): %.1f us\n", us(t1 - t0));
    std::printf("later creations by ProgID: %.1f us each (mean of %d)\n", us(t3 - t2) / kAgain, kAgain);
    return 0;
}
