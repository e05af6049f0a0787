// How much of a core the console uses while it pauses: waithundredths(100) on the Qt pump
// (the windows) and on the apartment pump (sarnel-cli), against a loop that polls the event
// queue without sleeping. Goal: under 5 % of a core during the pause.
#include <QApplication>
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "console/base/pump.h"
#include "console/base/timing.h"
#include "console/base/ui/qtpump.h"

namespace {

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Share of one core used by `pause`, and the wall time it took.
template <typename Pause>
void measure(const char* name, Pause pause, bool gate, bool& ok) {
    const auto wall0 = std::chrono::steady_clock::now();
    const double cpu0 = cpuSeconds();
    pause();
    const double cpu = cpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    const double share = 100.0 * cpu / wall;
    std::printf("%-44s wall %7.1f ms  cpu %7.2f ms  %6.2f %% of a core%s\n", name, wall * 1e3, cpu * 1e3,
                share, gate ? (share < 5 ? "  (goal < 5 %: met)" : "  (goal < 5 %: MISSED)") : "");
    if (gate && share >= 5) ok = false;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    bool ok = true;
    {
        sarnel::QtPump pump;
        measure(
            "waithundredths(100), Qt pump", [] { sarnel::waithundredths(100); }, true, ok);
        measure(
            "waithundredths(100) x3, Qt pump",
            [] {
                for (int i = 0; i < 3; ++i) sarnel::waithundredths(100);
            },
            true, ok);
        measure(
            "polling loop for 1 s (for comparison)",
            [] {
                const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
                while (std::chrono::steady_clock::now() < end) QCoreApplication::processEvents();
            },
            false, ok);
    }
    measure(
        "waithundredths(100), apartment pump", [] { sarnel::waithundredths(100); }, true, ok);
    return ok ? 0 : 1;
}
