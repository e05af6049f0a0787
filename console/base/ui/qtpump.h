// The console's pump on the Qt event loop. Waits block in the event loop (never spin), and
// the thread's component apartment is served from the same loop, so the serial control's
// events reach the windows whenever window events run, nested waits and modal dialogs
// included.
#pragma once

#include <chrono>
#include <memory>

#include "console/base/pump.h"

class QSocketNotifier;

namespace sarnel {

// Create one on the window thread after the QApplication and keep it while windows live.
// It enters a component apartment on the thread (balanced on destruction), serves that
// apartment through a socket notifier on its wake descriptor, and installs itself as the
// thread's pump (uninstalled on destruction).
class QtPump final : public Pump {
public:
    QtPump();
    ~QtPump() override;
    QtPump(const QtPump&) = delete;
    QtPump& operator=(const QtPump&) = delete;

    // Runs the window events and component calls waiting now.
    void processEvents() override;
    // Sleeps in the event loop until at least one event has run or the deadline has passed.
    void waitUntil(std::chrono::steady_clock::time_point deadline) override;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    bool enteredApartment_ = false;
};

}  // namespace sarnel
