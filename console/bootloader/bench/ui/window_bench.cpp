// What the bootloader window's display work adds to each streamed line.
//
// WindowRoundTrip: a 2000-line image streamed to the unpaced simulator (no flash time)
// through the real serial component, waits in the Qt event loop; the fields are either kept
// in memory (view:0) or are the window's controls, shown offscreen and painted (view:1).
// "median_us" is the median line's round trip.
//
// WindowCpuPerLine: the same with an adapter that answers at once on the window's thread,
// so that only the console's own work counts; "cpu_us" is the processor time per line.
#include <benchmark/benchmark.h>
#include <sim/simulator.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "console/base/rs232.h"
#include "console/base/ui/qtpump.h"
#include "console/bootloader/tests/fakecontrol_support.h"
#include "console/bootloader/tests/hexgen_support.h"
#include "console/bootloader/textbootview.h"
#include "console/bootloader/ui/quorblcform.h"

using namespace sarnel::boot;

namespace {

// Forwards every field to `target` and keeps each line's round trip.
class TimedTee final : public BootView {
public:
    explicit TimedTee(BootView& target) : t_(target) {}
    std::string text(Field f) override { return t_.text(f); }
    void setText(Field f, const std::string& v) override { t_.setText(f, v); }
    void setResponseColour(Rgb c) override { t_.setResponseColour(c); }
    std::string errorList() override { return t_.errorList(); }
    void setErrorList(const std::string& v) override { t_.setErrorList(v); }
    void prependError(const std::string& l) override { t_.prependError(l); }
    bool showProgress() override { return t_.showProgress(); }
    bool runWithErrors() override { return t_.runWithErrors(); }
    void clearProgress() override { t_.clearProgress(); }
    void drawProgress(double p) override { t_.drawProgress(p); }
    void beep() override {}
    void selectNoPort() override { t_.selectNoPort(); }
    void lineDone(int, int, const std::string&, double seconds) override { times.push_back(seconds); }
    double median() {
        std::sort(times.begin(), times.end());
        return times.empty() ? 0 : times[times.size() / 2];
    }
    std::vector<double> times;

private:
    BootView& t_;
};

struct Image {
    Image() {
        path =
            (std::filesystem::temp_directory_path() / ("window-bench-" + std::to_string(::getpid()) + ".hex"))
                .string();
        {
            std::ofstream out(path, std::ios::binary);
            for (const std::string& l : image.lines) out << l << "\r\n";
        }
        table = readhexlines(path);
    }
    ~Image() { std::filesystem::remove(path); }
    boottest::HexImage image = boottest::makeimage(2000, sim::programMemorySize);
    std::string path;
    HexLines table;
    std::string spec() const { return path + "\xFF\xFF"; }
};

sarnel::ConsoleState consolestate;

std::unique_ptr<QuorBLCForm> shownform() {
    auto form =
        std::make_unique<QuorBLCForm>(consolestate, "bench", std::make_unique<boottest::FakeControl>(),
                                      [] { return std::make_unique<boottest::FakeControl>(); });
    form->show();
    QApplication::processEvents();
    return form;
}

double cpuseconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

void WindowRoundTrip(benchmark::State& state) {
    Image file;
    sim::Options options;
    options.flashTimePerLine = std::chrono::microseconds(0);
    sim::Adapter adapter(options);
    std::unique_ptr<sarnel::SerialControl> rs232 = sarnel::createRs232();
    rs232->open(adapter.devicePath(), "115200,n,8,1");
    TextBootView memory;
    std::unique_ptr<QuorBLCForm> form = state.range(0) ? shownform() : nullptr;
    TimedTee view(form ? static_cast<BootView&>(*form) : memory);
    {
        BootLoader loader(*rs232, view);
        loader.setPortOpen(true);
        for (auto _ : state) {
            adapter.enterBootloader();
            loader.clearstats();
            view.times.clear();
            // As a button's run does: the buttons are disabled while it streams.
            if (form) form->setButtonsEnabled(false);
            loader.bootload(file.spec(), file.table);
            if (form) form->setButtonsEnabled(true);
            if (view.text(Field::eofrecords) != "1") state.SkipWithError("the run did not complete");
        }
    }
    state.counters["median_us"] = view.median() * 1e6;
    rs232->close();
}

void WindowCpuPerLine(benchmark::State& state) {
    Image file;
    boottest::FakeControl rs232;
    rs232.respond(
        [](const std::string& frame) { return boottest::reply(frame == "$:00000001FF\r" ? "Bc" : "Ba"); });
    TextBootView memory;
    std::unique_ptr<QuorBLCForm> form = state.range(0) ? shownform() : nullptr;
    TimedTee view(state.range(0) == 1 ? static_cast<BootView&>(*form) : memory);
    BootLoader loader(rs232, view);
    loader.setPortOpen(true);
    double cpu = 0;
    for (auto _ : state) {
        loader.clearstats();
        rs232.frames.clear();
        const double c0 = cpuseconds();
        if (form) form->setButtonsEnabled(false);
        loader.bootload(file.spec(), file.table);
        if (form) form->setButtonsEnabled(true);
        cpu += cpuseconds() - c0;
    }
    state.counters["cpu_us"] =
        cpu / static_cast<double>(state.iterations()) / static_cast<double>(file.table.lines.size()) * 1e6;
}

}  // namespace

BENCHMARK(WindowRoundTrip)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("view")
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(WindowCpuPerLine)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("view")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    sarnel::QtPump pump;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
