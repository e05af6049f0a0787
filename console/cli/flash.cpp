// sarnel-cli flash: the bootloader window's "App Write" and "Boot Write" on a terminal.
#include "console/base/consoleerror.h"
#include "console/base/rs232.h"
#include "console/bootloader/bootloader.h"
#include "console/bootloader/replies.h"
#include "console/bootloader/textbootview.h"
#include "console/cli/cli.h"
#include "console/cli/input.h"
#include "console/cli/interrupts.h"
#include "console/cli/unplugwatch.h"
#if SARNEL_HAS_SIMULATOR
#include "console/base/simulatedport.h"
#endif

#include <com/apartment.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>

namespace sarnel::cli {

namespace {

int run(const std::vector<std::string>& args);

const CliCommand command(
    "flash", "update the adapter's firmware from an Intel HEX file",
    "usage: sarnel-cli flash --port NAME [--from-app] [--stop-on-error] [--timing] FILE.hex\n"
    "       sarnel-cli flash --simulate [--from-app] ... FILE.hex\n"
    "Streams FILE.hex to the adapter's bootloader line by line, as the bootloader window's\n"
    "\"Boot Write\" does (\"App Write\" with --from-app), showing the progress, then prints the\n"
    "counters and the error log. Ctrl-C (or SIGTERM) ends the run as the window's Cancel does.\n"
    "Exit status 0 only when the bootloader reported programming complete with no errors;\n"
    "1 when the update failed; 2 for bad arguments; 130 or 143 when interrupted (SIGINT, SIGTERM).\n"
    "  --port NAME      the adapter's port (COM3, a device path such as /dev/ttyUSB0, or a\n"
    "                   remote port such as rfc2217://bench7:4001)\n"
    "  --from-app       the adapter runs its application: restart it into the bootloader first\n"
    "  --stop-on-error  stop at the first rejected line (default: go on and log it)\n"
    "  --timing         report each line's round trip: minimum, median, maximum, slowest lines\n"
    "  --simulate       flash a simulated adapter (as COM3) instead of a real one\n",
    run);

using clock = std::chrono::steady_clock;

// The window's fields in memory, with a progress display on standard error: a bar with the
// rate and the time left on a terminal, a plain line every tenth of the file otherwise.
class FlashView final : public boot::TextBootView {
public:
    FlashView(bool terminal, bool timing) : terminal_(terminal), timing_(timing) {}

    void beep() override {}
    void lineDone(int line, int lineCount, const std::string& reply, double seconds) override {
        (void)reply;
        if (line == 1)
            start_ = clock::now() -
                     std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(seconds));
        if (timing_) times_.push_back({seconds, line});
        line_ = line;
        lineCount_ = lineCount;
        show(line, lineCount);
    }
    // Ends the display at the last line sent (the run may stop before the file's end).
    void finish() {
        if (lineCount_ == 0) return;
        if (shownLine_ != line_) {
            lastDraw_ = {};
            lastTenth_ = -1;
            show(line_, lineCount_);
        }
        if (terminal_) std::fputc('\n', stderr);
    }
    struct LineTime {
        double seconds;
        int line;
    };
    std::vector<LineTime>& times() { return times_; }

private:
    void show(int line, int lineCount) {
        const clock::time_point now = clock::now();
        const bool last = line == lineCount || (lastTenth_ < 0 && lastDraw_ == clock::time_point{});
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double rate = elapsed > 0 ? line / elapsed : 0;
        if (terminal_) {
            if (!last && now - lastDraw_ < std::chrono::milliseconds(100)) return;
            lastDraw_ = now;
            constexpr int width = 30;
            const int filled = static_cast<int>(static_cast<long long>(line) * width / lineCount);
            const double left = rate > 0 ? (lineCount - line) / rate : 0;
            std::fprintf(stderr, "\r[%s%s] %3d%%  %d/%d lines  %.0f lines/s  %.1f s left  ",
                         std::string(static_cast<std::size_t>(filled), '#').c_str(),
                         std::string(static_cast<std::size_t>(width - filled), '.').c_str(),
                         static_cast<int>(static_cast<long long>(line) * 100 / lineCount), line, lineCount,
                         rate, left);
        } else {
            const int tenth = static_cast<int>(static_cast<long long>(line) * 10 / lineCount);
            if (tenth == lastTenth_ && !last) return;
            lastTenth_ = tenth;
            std::fprintf(stderr, "flash: %d/%d lines (%d%%), %.0f lines/s\n", line, lineCount,
                         static_cast<int>(static_cast<long long>(line) * 100 / lineCount), rate);
        }
        shownLine_ = line;
    }

    bool terminal_;
    bool timing_;
    int lastTenth_ = 0;
    int line_ = 0, lineCount_ = 0, shownLine_ = 0;
    clock::time_point start_ = clock::now();
    clock::time_point lastDraw_{};
    std::vector<LineTime> times_;
};

void printtiming(std::vector<FlashView::LineTime> times, const boot::HexLines& table) {
    if (times.empty()) {
        std::printf("Timing:      no line was sent\n");
        return;
    }
    std::vector<FlashView::LineTime> sorted = times;
    std::sort(sorted.begin(), sorted.end(), [](auto& a, auto& b) { return a.seconds < b.seconds; });
    const std::size_t n = sorted.size();
    const double median =
        n % 2 ? sorted[n / 2].seconds : (sorted[n / 2 - 1].seconds + sorted[n / 2].seconds) / 2;
    std::printf("Round trip:  min %.3f ms  median %.3f ms  max %.3f ms  (%zu lines)\n",
                sorted.front().seconds * 1e3, median * 1e3, sorted.back().seconds * 1e3, n);
    std::printf("Slowest lines:\n");
    for (std::size_t k = 0; k < std::min<std::size_t>(5, n); ++k) {
        const auto& t = sorted[n - 1 - k];
        std::string text = table.lines[static_cast<std::size_t>(t.line - 1)];
        if (text.size() > 48) text = text.substr(0, 45) + "...";
        std::printf("  line %5d  %8.3f ms  %s\n", t.line, t.seconds * 1e3, text.c_str());
    }
}

int run(const std::vector<std::string>& args) {
    if (wantsHelp(command, args)) return kExitOk;
    std::string port, file;
    bool fromApp = false, stopOnError = false, timing = false, simulate = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--port") {
            if (i + 1 >= args.size()) return usageError("flash", "--port needs a value");
            port = args[++i];
        } else if (a == "--from-app") {
            fromApp = true;
        } else if (a == "--stop-on-error") {
            stopOnError = true;
        } else if (a == "--timing") {
            timing = true;
        } else if (a == "--simulate") {
            simulate = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError("flash", "unknown option '" + a + "'");
        } else if (file.empty()) {
            file = a;
        } else {
            return usageError("flash", "one HEX file only, not also '" + a + "'");
        }
    }
    if (file.empty()) return usageError("flash", "no HEX file given");
    if (port.empty() && !simulate) return usageError("flash", "--port NAME is needed (or --simulate)");
    if (!port.empty() && simulate) return usageError("flash", "--port and --simulate exclude each other");

    // Before any thread starts: the simulated adapter's and the control's monitor inherit the
    // blocked signals, so Ctrl-C reaches the run's waits.
    std::unique_ptr<Interrupts> interrupts;
    try {
        interrupts = std::make_unique<Interrupts>();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sarnel-cli flash: %s\n", e.what());
        return kExitFailure;
    }
    const bool apartment = com::succeeded(com::initializeApartment());
    int status = kExitFailure;
    try {
#if SARNEL_HAS_SIMULATOR
        std::unique_ptr<SimulatedPort> simulated;
        if (simulate) {
            simulated = std::make_unique<SimulatedPort>();
            port = "COM" + std::to_string(SimulatedPort::kComNumber);
        }
#else
        if (simulate) throw std::runtime_error("this build has no adapter simulator");
#endif
        UnplugWatch unplug(*interrupts, port);
        std::unique_ptr<SerialControl> rs232 = createRs232();
        rs232->open(port, "115200,n,8,1");
        rs232->setBreak(0);
        rs232->clearRQ();
        rs232->clearTQ();

        FlashView view(::isatty(STDERR_FILENO) == 1, timing);
        view.setRunWithErrors(!stopOnError);
        bool started = false;
        {
            boot::BootLoader loader(*rs232, view);
            loader.setPortOpen(true);
            const std::filesystem::path path(file);
            const std::string spec =
                file + '\xFF' + path.parent_path().string() + '\xFF' + path.filename().string();
            // An interrupt is the window's Cancel. It is set again at every pass of a wait,
            // since the run clears the abort flag when it starts.
            interrupts->onRequest([&loader] { loader.abort(); });
            // An adapter pulled out ends the run too: nothing it waits for can come.
            unplug.onUnplug([&loader] { loader.abort(); });
            if (!interrupts->requested() && !unplug.unplugged()) {
                started = true;
                loader.write(spec, fromApp);
            }
            interrupts->onRequest({});
            unplug.onUnplug({});
        }
        rs232->close();
        view.finish();

        using boot::Field;
        std::printf(
            "Prog blocks  %s\nHigh ROM     %s\nHigh Blocks  %s\nComments     %s\nCompletion   %s\n"
            "Errors       %s\nTime         %s\n",
            view.text(Field::blockswritten).c_str(), view.text(Field::highrompointers).c_str(),
            view.text(Field::highromblocks).c_str(), view.text(Field::commentlines).c_str(),
            view.text(Field::eofrecords).c_str(), view.text(Field::dataerrors).c_str(),
            view.text(Field::programtime).c_str());
        const std::string log = view.errorList();
        if (!log.empty()) {
            std::printf("Error log (newest first):\n");
            std::size_t start = 0;
            while (start < log.size()) {
                std::size_t end = log.find("\r\n", start);
                if (end == std::string::npos) end = log.size();
                writetext(stdout, "  " + log.substr(start, end - start) + "\n");
                start = end + 2;
            }
        }
        if (timing) printtiming(view.times(), boot::readhexlines(file));
        const bool complete = boot::textvalue(view.text(Field::eofrecords)) > 0;
        const bool clean = boot::textvalue(view.text(Field::dataerrors)) == 0;
        status = complete && clean ? kExitOk : kExitFailure;
        if (unplug.unplugged()) {
            status = kExitFailure;
            std::fprintf(stderr, "sarnel-cli flash: %s%s\n", unplug.text().c_str(),
                         started ? "; the update is incomplete: flash the file again once it is back" : "");
        } else if (interrupts->requested()) {
            status = interrupts->exitstatus();
            std::fprintf(stderr, "sarnel-cli flash: interrupted (%s)%s\n", interrupts->name(),
                         started ? "; the update is incomplete: the adapter may be waiting in its "
                                   "bootloader, flash the file again"
                                 : " before the update started");
        } else if (status != kExitOk)
            std::fprintf(stderr, "sarnel-cli flash: %s\n",
                         !complete ? "the bootloader did not report programming complete"
                                   : "programming complete, but with errors");
    } catch (const ConsoleError& e) {
        std::fprintf(stderr, "sarnel-cli flash: %s (0x%08X)\n", e.description().c_str(),
                     static_cast<unsigned>(e.number()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sarnel-cli flash: %s\n", e.what());
    }
    if (apartment) com::uninitializeApartment();
    return status;
}

}  // namespace

}  // namespace sarnel::cli
