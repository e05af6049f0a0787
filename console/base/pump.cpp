#include "console/base/pump.h"

#include <com/apartment.h>

namespace sarnel {

namespace {
thread_local Pump* installed = nullptr;
thread_local ApartmentPump apartmentPump;
}  // namespace

Pump& pump() {
    return installed ? *installed : apartmentPump;
}

void setPump(Pump* p) {
    installed = p;
}

void ApartmentPump::processEvents() {
    com::serveApartment();
}

void ApartmentPump::waitUntil(std::chrono::steady_clock::time_point deadline) {
    if (com::waitApartment(deadline)) com::serveApartment();
}

}  // namespace sarnel
