#include "console/base/timing.h"

#include <chrono>
#include <ctime>

#include "console/base/pump.h"

namespace sarnel {

void processEvents() {
    pump().processEvents();
}

void waithundredths(std::int16_t n) {
    if (n < 1) return;
    using clock = std::chrono::steady_clock;
    const clock::time_point deadline = clock::now() + std::chrono::milliseconds(10 * n);
    pump().processEvents();
    while (clock::now() < deadline) pump().waitUntil(deadline);
}

double elapsedseconds(double start, double now) {
    double elapsed = now < start ? 86400.0 - start + now : now - start;
    return elapsed < 0 ? 0 : elapsed;
}

double timeofday() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm local{};
    localtime_r(&ts.tv_sec, &local);
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + ts.tv_nsec / 1e9;
}

}  // namespace sarnel
