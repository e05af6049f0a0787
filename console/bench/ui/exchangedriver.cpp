#include "console/bench/ui/exchangedriver.h"

#include <chrono>

namespace sarnel {

ExchangeDriver::ExchangeDriver(bench::Workbench& bench, QObject* parent) : QObject(parent), bench_(bench) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
}

ExchangeDriver::~ExchangeDriver() {
    bench_.forget(this);
}

void ExchangeDriver::run(bench::Exchange& exchange) {
    stop();
    exchange_ = &exchange;
    bench_.listen(this);
    exchange.start(bench::Clock::now());
    poll();
}

void ExchangeDriver::stop() {
    timer_.stop();
    bench_.forget(this);
    exchange_ = nullptr;
}

void ExchangeDriver::reschedule() {
    if (exchange_) timer_.start(0);
}

void ExchangeDriver::replied(std::string_view reply, bench::Clock::time_point now) {
    if (!exchange_) return;
    exchange_->replied(reply, now);
    // Never send from inside the decoder: the poll comes from the event loop.
    timer_.start(0);
}

void ExchangeDriver::poll() {
    if (!exchange_) return;
    // Sending lets events run (ComWrite), and this timer may come due among them: the poll
    // in progress finishes first, and schedules the next.
    if (polling_) return;
    polling_ = true;
    exchange_->poll(bench::Clock::now());
    polling_ = false;
    emit stepped();
    if (!exchange_) return;  // stopped by a handler of `stepped`
    if (!exchange_->running()) {
        stop();
        emit finished();
        return;
    }
    schedule();
}

void ExchangeDriver::schedule() {
    const bench::Clock::time_point wake = exchange_->wakeup();
    const bench::Clock::time_point now = bench::Clock::now();
    if (wake <= now) {
        timer_.start(0);
        return;
    }
    if (wake == bench::Clock::time_point::max()) return;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
    timer_.start(static_cast<int>(std::min<long long>(ms, 24LL * 3600 * 1000)));
}

}  // namespace sarnel
