// What the simulator costs and how well it holds the line rate.
//
//   FirmwareScript   the firmware alone on the "LM75 Pointer Set, 2Byte Read" frame
//   RoundTrip        a script frame over the pseudo-terminal, unpaced, with and without the
//                    check of the host's line settings; sim_cpu_us is the simulator thread's
//                    own CPU time per round trip
//   PacedStream      60 long replies back to back at 115200 baud; rate_error_pct is how far
//                    the measured byte rate lies from 10 bits a byte
//   PacedInput       120 long frames with short replies: the incoming side's rate
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>

#include "../src/firmware.h"
#include "../tests/host_support.h"
#include "sim/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;
const std::string kLm75Read = "00100C0001900100000191020304";

void FirmwareScript(benchmark::State& state) {
    sim::Options o;
    sim::Firmware fw(o);
    const auto now = sim::Clock::now();
    for (auto _ : state) benchmark::DoNotOptimize(fw.line(kLm75Read, now));
}
BENCHMARK(FirmwareScript);

void RoundTrip(benchmark::State& state) {
    sim::Options o;
    o.checkLineSettings = state.range(0) != 0;
    sim::Adapter adapter(o);
    simtest::Host host(adapter.devicePath());
    const std::string frame = "$" + kLm75Read + "\r";
    const auto cpu0 = adapter.stats().cpuTime;
    for (auto _ : state) {
        host.send(frame);
        benchmark::DoNotOptimize(host.line());
    }
    const auto cpu = adapter.stats().cpuTime - cpu0;
    state.counters["sim_cpu_us"] =
        std::chrono::duration<double, std::micro>(cpu).count() / static_cast<double>(state.iterations());
}
BENCHMARK(RoundTrip)->ArgName("checked")->Arg(1)->Arg(0)->UseRealTime();

// `frames` copies of a frame of 62 tokens `token` (the longest a frame takes).
std::string burstOf(const char* token, int frames) {
    std::string frame =
        "$0010"
        "3F";
    for (int i = 0; i < 62; ++i) frame += token;
    frame += "\r";
    std::string burst;
    for (int i = 0; i < frames; ++i) burst += frame;
    return burst;
}

void PacedStream(benchmark::State& state) {
    constexpr int kBaud = 115200;
    constexpr int kFrames = 60;
    sim::Options o;
    o.paceBaud = kBaud;
    sim::Adapter adapter(o);
    simtest::Host host(adapter.devicePath());
    // 62 reads: 132 characters in, 255 out, so the output runs without gaps.
    const std::string burst = burstOf("02", kFrames);
    const std::size_t expected = kFrames * (5 + 62 * 4 + 2);

    double worst = 0;
    for (auto _ : state) {
        host.send(burst);
        std::string first = host.readSome(std::chrono::seconds(2));
        const auto t0 = Clock::now();
        std::size_t got = first.size();
        while (got < expected) {
            const std::string more = host.readSome(std::chrono::seconds(2));
            if (more.empty()) break;
            got += more.size();
        }
        const auto elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
        const double ideal = static_cast<double>(got - first.size()) * 10.0 / kBaud;
        worst = std::max(worst, std::abs(elapsed - ideal) / ideal * 100.0);
        if (got != expected) state.SkipWithError("short stream");
    }
    state.counters["rate_error_pct"] = worst;
}
BENCHMARK(PacedStream)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// The other direction: frames whose replies are short, so the incoming bytes set the pace.
// in_rate_error_pct compares the time to the last reply with 10 bits a byte for every byte
// sent plus the last reply.
void PacedInput(benchmark::State& state) {
    constexpr int kBaud = 115200;
    constexpr int kFrames = 120;
    sim::Options o;
    o.paceBaud = kBaud;
    sim::Adapter adapter(o);
    simtest::Host host(adapter.devicePath());
    const std::string burst = burstOf("10", kFrames);
    const std::size_t replyBytes = 5 + 62 + 2;

    double worst = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        host.send(burst);
        std::size_t got = 0;
        while (got < kFrames * replyBytes) {
            const std::string more = host.readSome(std::chrono::seconds(2));
            if (more.empty()) break;
            got += more.size();
        }
        const auto elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
        const double ideal = static_cast<double>(burst.size() + replyBytes) * 10.0 / kBaud;
        worst = std::max(worst, std::abs(elapsed - ideal) / ideal * 100.0);
        if (got != kFrames * replyBytes) state.SkipWithError("short stream");
    }
    state.counters["in_rate_error_pct"] = worst;
}
BENCHMARK(PacedInput)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
