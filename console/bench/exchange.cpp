#include "console/bench/exchange.h"

#include "console/base/pump.h"

namespace sarnel::bench {

void runexchange(Exchange& exchange, const std::function<bool()>& stop) {
    exchange.start(Clock::now());
    exchange.poll(Clock::now());
    while (exchange.running() && !(stop && stop())) {
        const Clock::time_point wake = exchange.wakeup();
        if (wake > Clock::now())
            pump().waitUntil(wake);
        else
            pump().processEvents();
        exchange.poll(Clock::now());
    }
}

}  // namespace sarnel::bench
