// Decoding speed: the reply to the largest legal script, and megabytes of mixed replies,
// whose rate per byte must not fall as the input grows.
#include <benchmark/benchmark.h>

#include <string>

#include "console/responses/decoder.h"

namespace {

// The reply to a script of 124 token bytes: writes, reads, delays, pins, start and stop.
std::string largestreply() {
    std::string reply = "!0010";
    for (int i = 0; i < 13; ++i) reply += "W90a";          // 26 bytes of writes
    for (int i = 0; i < 12; ++i) reply += "D0A";           // 24 bytes of delays
    for (int i = 0; i < 14; ++i) reply += "sr52ar13np21";  // 70 one-byte tokens
    reply += "sr52ar13np";                                 // and 4 more
    reply += "\r\n";
    return reply;
}

void BM_DecodeLargestReply(benchmark::State& state) {
    const std::string reply = largestreply();
    sarnel::ActivityText activity;
    std::string buffer;
    for (auto _ : state) {
        buffer = reply;
        sarnel::process(sarnel::kProcessAll, "", activity, buffer);
        benchmark::DoNotOptimize(activity.text.data());
    }
}
BENCHMARK(BM_DecodeLargestReply)->Unit(benchmark::kMicrosecond);

// Replies of every kind with line feeds and some noise; "Continuous Rx" ticked, so the
// activity text keeps growing.
std::string mixedreplies(std::size_t bytes) {
    static const char* replies[] = {
        "!0010sW90aW00ap\r\n",
        "!00193300101\r\n",
        "!0013\r\n",
        "!0011s\r\n",
        "!001A08\r\n",
        "noise!0010A0010101\r\n",
        "!0010r52ar00nD0Ad0A2031?76\r\n",
        "!0020x1\r\n",
        "!0018\r\n",
        "!0010708192A11100\r\n",
        "abc\r\n",
    };
    std::string out;
    out.reserve(bytes + 64);
    for (std::size_t i = 0; out.size() < bytes; ++i) out += replies[i % (sizeof replies / sizeof *replies)];
    return out;
}

void BM_DecodeMixedReplies(benchmark::State& state) {
    const std::string input = mixedreplies(static_cast<std::size_t>(state.range(0)) << 20);
    sarnel::ActivityText activity;
    activity.continuous = true;
    std::string buffer;
    for (auto _ : state) {
        state.PauseTiming();
        buffer = input;
        activity.text.clear();
        activity.text.shrink_to_fit();  // the text grows from nothing, by appends, every time
        state.ResumeTiming();
        sarnel::process(sarnel::kProcessAll, "", activity, buffer);
        benchmark::DoNotOptimize(activity.text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(input.size()));
    state.counters["activity_MB"] = static_cast<double>(activity.text.size()) / 1e6;
}
BENCHMARK(BM_DecodeMixedReplies)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
