// Compiling the largest legal script: 124 token bytes over 100 lines.
#include <benchmark/benchmark.h>

#include <string>

#include "console/command/compiler.h"

namespace {

// A comment line, 25 lines of two-byte tokens and 74 of one-byte tokens, with comments, tabs and the three
// number forms, as users write them.
std::string largestscript() {
    static const char* twoBytes[] = {"Write  0x90", "Write 145\t; address", "Delayu 010", "Delaym 0x0A"};
    static const char* oneByte[] = {"Start", "Read   ack", "Read   Nack / last", "Stop", "GP0hi", "SetV 3.0",
                                    "scl?",  "gppin?"};
    std::string script = ";largest legal script\r\n";
    for (int i = 0; i < 25; ++i) script += std::string(twoBytes[i % 4]) + "\r\n";
    for (int i = 0; i < 74; ++i) script += std::string(oneByte[i % 8]) + "\r\n";
    return script;
}

void BM_CompileLargestScript(benchmark::State& state) {
    const std::string script = largestscript();
    {
        std::string s = script;
        const sarnel::CompileResult r = sarnel::compilescript(s);
        if (r.tokenBytes != 124) state.SkipWithError("the script does not carry 124 token bytes");
    }
    for (auto _ : state) {
        std::string s = script;
        sarnel::CompileResult r = sarnel::compilescript(s);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_CompileLargestScript)->Unit(benchmark::kMicrosecond);

// The one-line script of the console's first example.
void BM_CompileShortScript(benchmark::State& state) {
    for (auto _ : state) {
        std::string s = "Start|Write 0x90|Stop";
        sarnel::CompileResult r = sarnel::compilescript(s);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_CompileShortScript)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
