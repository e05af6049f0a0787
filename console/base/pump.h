// The console's one way of letting events run while it waits: every wait (waithundredths,
// the bootloader's time limits, the alert loop of the CLI) goes through the current pump.
// The windows install a Qt pump (event loop); sarnel-cli and the tests use the apartment pump,
// which serves the component's events posted to the calling thread.
#pragma once

#include <chrono>

namespace sarnel {

class Pump {
public:
    virtual ~Pump() = default;
    // Runs the events that are waiting now, and returns without blocking.
    virtual void processEvents() = 0;
    // Blocks until an event has been processed or the deadline has passed, whichever comes
    // first. Never spins: with nothing to do it sleeps in the system until the deadline.
    virtual void waitUntil(std::chrono::steady_clock::time_point deadline) = 0;
};

// The pump in force on this thread; the apartment pump unless one was installed.
Pump& pump();
// Installs `p` for the calling thread (nullptr restores the apartment pump). The caller keeps
// ownership and must uninstall it before destroying it.
void setPump(Pump* p);

// Serves the calling thread's component apartment (com::serveApartment).
class ApartmentPump final : public Pump {
public:
    void processEvents() override;
    void waitUntil(std::chrono::steady_clock::time_point deadline) override;
};

}  // namespace sarnel
