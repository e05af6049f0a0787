// Ctrl-C and termination requests for the port commands. SIGINT and SIGTERM are blocked and
// read from a signal descriptor by the command's waits, so nothing runs inside a signal
// handler: a request is seen between two passes of a wait, where the command ends as the
// window's Cancel would, closes its port and exits with 128 + the signal's number. The same
// waits serve one more descriptor, the hot-plug watcher's, so an unplugged adapter ends a
// wait at once too.
#pragma once

#include <signal.h>

#include <chrono>
#include <functional>

#include "console/base/pump.h"

namespace sarnel::cli {

class Interrupts final : public Pump {
public:
    // Blocks SIGINT and SIGTERM on the calling thread and opens the signal descriptor, then
    // installs itself as the thread's pump. Make it before any other thread starts (the
    // serial control's monitor, the simulated adapter): threads inherit the blocked set, so
    // the signals reach the descriptor instead of ending the process.
    Interrupts();
    // Uninstalls the pump, drops requests still waiting and restores the signal mask.
    ~Interrupts() override;
    Interrupts(const Interrupts&) = delete;
    Interrupts& operator=(const Interrupts&) = delete;

    // The first request's signal (SIGINT or SIGTERM); 0 while none has come.
    int signal() const { return signal_; }
    bool requested() const { return signal_ != 0; }
    // 128 + the signal: 130 for SIGINT, 143 for SIGTERM.
    int exitstatus() const { return 128 + signal_; }
    // "SIGINT" or "SIGTERM".
    const char* name() const;

    // Called on every pass of a wait once a request has come, so that a cancel flag that the
    // run clears at its start is set again at its first wait. Empty: nothing is called.
    void onRequest(std::function<void()> call) { onRequest_ = std::move(call); }

    // Serves `fd` in every wait as well: when it is readable, `ready` runs on this thread and
    // the wait ends. One descriptor at a time; -1 stops serving it.
    void serve(int fd, std::function<void()> ready);

    // Pump: serves the component apartment, the signal descriptor and the one given to serve.
    void processEvents() override;
    void waitUntil(std::chrono::steady_clock::time_point deadline) override;

private:
    // Takes the requests waiting in the descriptor (true when there were any), then runs
    // onRequest when a request has come, now or before.
    bool takeSignals();

    sigset_t before_{};
    int fd_ = -1;
    int signal_ = 0;
    std::function<void()> onRequest_;
    int served_ = -1;
    std::function<void()> ready_;
};

}  // namespace sarnel::cli
