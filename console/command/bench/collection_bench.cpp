// Loading a script collection of 1000 scripts (10,000 lines): reading the file, splitting it
// into scripts and filling the preset table, captions and list items.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "console/command/collection.h"
#include "console/command/workspace.h"

namespace {

// 1000 scripts of ten lines each: a heading and nine bus operations.
std::string bigCollection() {
    std::string text;
    for (int k = 1; k <= 1000; ++k) {
        text += ";Script " + std::to_string(k) + ": read the sensor and the EEPROM page " +
                std::to_string(k % 256) + "\r\n";
        text +=
            "Start\r\nWrite  0x90\r\nWrite  0x00\r\nStart\r\nWrite  0x91\r\nRead   ack\r\nRead   "
            "Nack\r\nStop\r\n";
        text += "Delaym 0x0A   / settle\r\n";
    }
    return text;
}

class CollectionFile {
public:
    CollectionFile()
        : path_(std::filesystem::temp_directory_path() /
                ("collection_bench_" + std::to_string(::getpid()) + ".txt")) {
        std::ofstream(path_, std::ios::binary) << bigCollection();
    }
    ~CollectionFile() { std::filesystem::remove(path_); }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

void BM_ParseCollection(benchmark::State& state) {
    const std::string text = bigCollection();
    for (auto _ : state) benchmark::DoNotOptimize(sarnel::parseCollection(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseCollection)->Unit(benchmark::kMillisecond);

void BM_LoadCollectionFile(benchmark::State& state) {
    const CollectionFile file;
    sarnel::Workspace workspace;
    for (auto _ : state) {
        workspace.load(sarnel::readCollection(file.path()));
        benchmark::DoNotOptimize(workspace.listItems().data());
    }
    state.counters["scripts"] = workspace.scriptCount();
}
BENCHMARK(BM_LoadCollectionFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
