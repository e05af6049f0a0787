// Streaming speed of the bootloader protocol.
//
// PacedStream: a 2000-line image streamed to the simulated adapter paced at 115200 baud,
// through the real serial component, against the link's own minimum for those bytes (every
// line out and every verdict back at 10 bits a byte, plus the flash time the simulator states
// for each accepted data line). Counter "over_min_pct" is the excess over that minimum.
//
// ConsoleCostPerLine: the console's own work per line (send, wait, receive, decode, count)
// against an adapter that answers at once inside the console's thread, so that no kernel, no
// device and no simulator time is counted. Counter "median_us" is the median line.
//
// BareHostPaced: the same paced stream from a bare loop (blocking write and read on the
// device, no console, no component): the baseline of what the simulator and this machine's
// wake-ups allow, to read PacedStream's excess against.
//
// UnpacedStream: the same image to the unpaced simulator (no flash time) through the real
// component: the full round trip per line (console, component, pseudo-terminal, simulator),
// an upper bound on the console's own cost per line.
//
// PacedThroughSer2net: the paced stream in turns on the pseudo-terminal itself and through a
// ser2net on this machine that serves it with RFC 2217 over loopback. Counter "ratio" is the
// time through ser2net over the time on the pseudo-terminal.
#include <benchmark/benchmark.h>
#include <com/apartment.h>
#include <fcntl.h>
#include <serialtest/ser2net.h>
#include <sim/simulator.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "console/base/rs232.h"
#include "console/bootloader/bootloader.h"
#include "console/bootloader/tests/fakecontrol_support.h"
#include "console/bootloader/tests/hexgen_support.h"
#include "console/bootloader/textbootview.h"

using namespace sarnel::boot;

namespace {

// Records every line's round trip.
class TimedView final : public TextBootView {
public:
    void lineDone(int line, int, const std::string&, double seconds) override {
        times.push_back(seconds);
        lines.push_back(line);
    }
    void beep() override {}
    double median() {
        if (times.empty()) return 0;
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    }
    std::vector<double> times;
    std::vector<int> lines;
};

struct ImageFile {
    ImageFile() {
        path =
            (std::filesystem::temp_directory_path() / ("stream-bench-" + std::to_string(::getpid()) + ".hex"))
                .string();
        std::ofstream out(path, std::ios::binary);
        for (const std::string& l : image.lines) out << l << "\r\n";
    }
    ~ImageFile() { std::filesystem::remove(path); }
    std::string spec() const { return path + "\xFF" + "\xFF"; }
    boottest::HexImage image = boottest::makeimage(2000, sim::programMemorySize);
    std::string path;
};

// The link's minimum for streaming `image`: every byte of "$" line CR and of "!" verdict CR LF
// at 10 bits a byte, plus the stated flash time for each accepted data line.
double linkminimum(const boottest::HexImage& image, int baud, std::chrono::microseconds flash) {
    double bytes = 0;
    for (const std::string& l : image.lines) bytes += 1 + l.size() + 1 + 5;
    return bytes * 10.0 / baud + image.dataLines * std::chrono::duration<double>(flash).count();
}

// The median of each line's excess over its own minimum, in percent: less sensitive than the
// total to the odd late wake-up on a busy machine.
double medianlineexcess(const TimedView& view, const boottest::HexImage& image, int baud,
                        std::chrono::microseconds flash) {
    std::vector<double> excess;
    for (std::size_t k = 0; k < view.times.size(); ++k) {
        const std::string& l = image.lines[static_cast<std::size_t>(view.lines[k] - 1)];
        double minimum = (1 + l.size() + 1 + 5) * 10.0 / baud;
        if (l.size() > 9 && l[0] == ':' && l.substr(7, 2) == "00" && l.substr(1, 2) != "00")
            minimum += std::chrono::duration<double>(flash).count();
        excess.push_back((view.times[k] / minimum - 1) * 100);
    }
    if (excess.empty()) return 0;
    std::sort(excess.begin(), excess.end());
    return excess[excess.size() / 2];
}

void streamsimulated(benchmark::State& state, int paceBaud) {
    com::initializeApartment();
    {
        ImageFile file;
        sim::Options options;
        options.paceBaud = paceBaud;
        // Unpaced, the adapter flashes at once: the round trip is the console's, the
        // component's, the kernel's and the simulator's work only.
        if (!paceBaud) options.flashTimePerLine = std::chrono::microseconds(0);
        sim::Adapter adapter(options);
        std::unique_ptr<sarnel::SerialControl> rs232 = sarnel::createRs232();
        rs232->open(adapter.devicePath(), "115200,n,8,1");
        TimedView view;
        BootLoader loader(*rs232, view);
        loader.setPortOpen(true);
        double total = 0;
        for (auto _ : state) {
            adapter.enterBootloader();
            loader.clearstats();
            view.times.clear();
            const auto t0 = std::chrono::steady_clock::now();
            loader.bootload(file.spec());
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            state.SetIterationTime(seconds);
            total += seconds;
            if (view.text(Field::eofrecords) != "1" || view.text(Field::dataerrors) != "0")
                state.SkipWithError("the image was not accepted");
        }
        const double perRun = total / static_cast<double>(state.iterations());
        state.counters["lines"] = static_cast<double>(file.image.lines.size());
        state.counters["median_us"] = view.median() * 1e6;
        if (paceBaud) {
            const double minimum = linkminimum(file.image, paceBaud, adapter.flashTimePerLine());
            state.counters["link_min_s"] = minimum;
            state.counters["over_min_pct"] = (perRun / minimum - 1) * 100;
            state.counters["line_over_min_pct"] =
                medianlineexcess(view, file.image, paceBaud, adapter.flashTimePerLine());
        }
        rs232->close();
    }
    com::uninitializeApartment();
}

void PacedStream(benchmark::State& state) {
    streamsimulated(state, 115200);
}

void BareHostPaced(benchmark::State& state) {
    ImageFile file;
    sim::Options options;
    options.paceBaud = 115200;
    sim::Adapter adapter(options);
    const int fd = ::open(adapter.devicePath().c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B115200);
    tcsetattr(fd, TCSANOW, &tio);
    double total = 0;
    for (auto _ : state) {
        adapter.enterBootloader();
        const auto t0 = std::chrono::steady_clock::now();
        for (const std::string& l : file.image.lines) {
            const std::string frame = "$" + l + "\r";
            if (::write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) break;
            char c = 0;
            while (::read(fd, &c, 1) == 1 && c != '\n') {
            }
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    const double minimum = linkminimum(file.image, 115200, adapter.flashTimePerLine());
    state.counters["over_min_pct"] = (total / static_cast<double>(state.iterations()) / minimum - 1) * 100;
    ::close(fd);
}
void UnpacedStream(benchmark::State& state) {
    streamsimulated(state, 0);
}

// One paced flash of `file` through `port`; its seconds, or nullopt with `*why` when the
// image was not accepted.
std::optional<double> flashonce(sim::Adapter& adapter, const std::string& port, const ImageFile& file,
                                std::string* why) {
    std::unique_ptr<sarnel::SerialControl> rs232 = sarnel::createRs232();
    rs232->open(port, "115200,n,8,1");
    TimedView view;
    BootLoader loader(*rs232, view);
    loader.setPortOpen(true);
    adapter.enterBootloader();
    const auto t0 = std::chrono::steady_clock::now();
    loader.bootload(file.spec());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    rs232->close();
    if (view.text(Field::eofrecords) == "1" && view.text(Field::dataerrors) == "0") return seconds;
    *why = port + ": the image was not accepted: " + view.errorList();
    return std::nullopt;
}

void PacedThroughSer2net(benchmark::State& state) {
    com::initializeApartment();
    {
        ImageFile file;
        sim::Options options;
        options.paceBaud = 115200;
        sim::Adapter adapter(options);
        std::string folder = (std::filesystem::temp_directory_path() / "stream-bench.XXXXXX").string();
        ::mkdtemp(folder.data());
        sertest::Ser2net server(adapter.devicePath(), folder);
        double local = 0, remote = 0;
        std::string why;
        for (auto _ : state) {
            const std::optional<double> l = flashonce(adapter, adapter.devicePath(), file, &why);
            const std::optional<double> r =
                l ? flashonce(adapter, server.rfc2217(), file, &why) : std::nullopt;
            if (!r) {
                state.SkipWithError(why.c_str());
                break;
            }
            local += *l;
            remote += *r;
            state.SetIterationTime(*r);
        }
        if (remote > 0) {
            const double runs = static_cast<double>(state.iterations());
            state.counters["local_s"] = local / runs;
            state.counters["remote_s"] = remote / runs;
            state.counters["ratio"] = remote / local;
        }
        server.stop();
        std::filesystem::remove_all(folder);
    }
    com::uninitializeApartment();
}

void ConsoleCostPerLine(benchmark::State& state) {
    com::initializeApartment();
    {
        ImageFile file;
        boottest::FakeControl rs232;
        rs232.respond([](const std::string& frame) {
            return boottest::reply(frame == "$:00000001FF\r" ? "Bc" : "Ba");
        });
        TimedView view;
        view.setShowProgress(state.range(0) != 0);
        BootLoader loader(rs232, view);
        loader.setPortOpen(true);
        const HexLines table = readhexlines(file.path);
        for (auto _ : state) {
            loader.clearstats();
            view.times.clear();
            rs232.frames.clear();
            loader.bootload(file.spec(), table);
        }
        state.counters["median_us"] = view.median() * 1e6;
        state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * table.lines.size()));
    }
    com::uninitializeApartment();
}

}  // namespace

BENCHMARK(PacedStream)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BareHostPaced)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(UnpacedStream)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(PacedThroughSer2net)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(ConsoleCostPerLine)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("showprogress")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
