// Drives an Exchange from the Qt event loop: it listens on the workbench for replies, and a
// single-shot timer calls poll() at the exchange's wakeup (at once after a reply that lets a
// frame go). `finished` is emitted once when the exchange stops running.
#pragma once

#include <QObject>
#include <QTimer>

#include "console/bench/workbench.h"

namespace sarnel {

class ExchangeDriver final : public QObject, public bench::ReplyListener {
    Q_OBJECT
public:
    ExchangeDriver(bench::Workbench& bench, QObject* parent = nullptr);
    ~ExchangeDriver() override;

    // Starts `exchange` (which outlives the run, or is stopped first) and sends its first frame.
    void run(bench::Exchange& exchange);
    // Lets the exchange go without another poll; `finished` is not emitted.
    void stop();
    bool running() const { return exchange_ != nullptr; }
    // Polls again now: after the exchange was changed from outside (paused, resumed).
    void reschedule();

    void replied(std::string_view reply, bench::Clock::time_point now) override;

signals:
    void finished();
    // After each poll and reply, for a window to show progress.
    void stepped();

private:
    void poll();
    void schedule();

    bench::Workbench& bench_;
    bench::Exchange* exchange_ = nullptr;
    QTimer timer_;
    bool polling_ = false;
};

}  // namespace sarnel
