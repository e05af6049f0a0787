// sarnel-sim: one simulated adapter on a fresh pseudo-terminal, until interrupted.
//
//   sarnel-sim [--port-dir DIR --com N] [--model usb|rs232] [--pace BAUD] [--fault NAME]...
//              [--version NN] [--bootloader]
//
// Prints the device path (and the COMn link) on standard output, then serves the adapter
// until SIGINT or SIGTERM, removes the link and exits 0.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "sim/simulator.h"

namespace {

constexpr const char* kUsage =
    "usage: sarnel-sim [--port-dir DIR --com N] [--model usb|rs232] [--pace BAUD]\n"
    "                  [--fault silence|split|nolf|garbage|nul|burst]... [--version NN] [--bootloader]\n";

[[noreturn]] void usage(const std::string& problem) {
    if (!problem.empty()) std::fprintf(stderr, "sarnel-sim: %s\n", problem.c_str());
    std::fputs(kUsage, stderr);
    std::exit(2);
}

int number(std::string_view option, const char* text, int low, int high) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high)
        usage(std::string(option) + " needs a number from " + std::to_string(low) + " to " +
              std::to_string(high));
    return static_cast<int>(v);
}

}  // namespace

int main(int argc, char** argv) {
    sim::Options options;
    std::string portDir;
    int com = 0;
    std::vector<sim::Fault> faults;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--bootloader") {
            options.startInBootloader = true;
            continue;
        }
        if (arg != "--port-dir" && arg != "--com" && arg != "--model" && arg != "--pace" &&
            arg != "--version" && arg != "--fault")
            usage("unknown option: " + std::string(arg));
        if (i + 1 >= argc) usage("missing value for " + std::string(arg));
        const char* value = argv[++i];
        if (arg == "--port-dir") {
            portDir = value;
        } else if (arg == "--com") {
            com = number(arg, value, 1, 999);
        } else if (arg == "--model") {
            const std::string_view m = value;
            if (m == "usb")
                options.model = sim::Model::Usb6354;
            else if (m == "rs232")
                options.model = sim::Model::Rs232_6208;
            else
                usage("--model is usb or rs232");
        } else if (arg == "--pace") {
            options.paceBaud = number(arg, value, 0, 4'000'000);
        } else if (arg == "--version") {
            options.firmwareVersion = number(arg, value, 0, 99);
        } else if (arg == "--fault") {
            const auto f = sim::faultFromName(value);
            if (!f) usage(std::string("unknown fault: ") + value);
            faults.push_back(*f);
        }
    }
    if (portDir.empty() != (com == 0)) usage("--port-dir and --com go together");

    // Block the stop signals before the simulator's thread starts, so that only sigwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        sim::Adapter adapter(options);
        for (sim::Fault f : faults) adapter.setFault(f);
        std::printf("%s\n", adapter.devicePath().c_str());
        if (!portDir.empty()) {
            adapter.linkAs(portDir, com);
            std::printf("%s/COM%d\n", portDir.c_str(), com);
        }
        std::fflush(stdout);
        int sig = 0;
        sigwait(&stopSignals, &sig);
        adapter.stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sarnel-sim: %s\n", e.what());
        return 1;
    }
    return 0;
}
