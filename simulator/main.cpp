// sarnel-sim: one simulated adapter on a fresh pseudo-terminal, until interrupted.
//
//   sarnel-sim [--port-dir DIR --com N] [--model usb|rs232] [--pace BAUD] [--fault NAME]...
//              [--device KIND@ADDR]... [--no-devices] [--firmware-version NN] [--bootloader]
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
    "                  [--fault silence|split|nolf|garbage|nul|burst]...\n"
    "                  [--device lm75|eeprom@ADDR]... [--no-devices] [--firmware-version NN]\n"
    "                  [--bootloader]\n"
    "       sarnel-sim --version\n"
    "Without --device the bus holds an LM75 at 0x48 and an EEPROM at 0x50; each --device\n"
    "puts one at a 7-bit address of its own (0x08 to 0x77) instead, --no-devices none.\n";

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
    std::vector<sim::Device> devices;
    bool noDevices = false;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            // Once the firmware version's option: point a script that still uses it to the new name.
            if (i + 1 < argc && argv[i + 1][0] >= '0' && argv[i + 1][0] <= '9')
                usage(
                    "the firmware version is --firmware-version NN; --version prints the program's version");
            std::printf("sarnel-sim %s\n", SIM_VERSION_TEXT);
            return 0;
        }
        if (arg == "--bootloader") {
            options.startInBootloader = true;
            continue;
        }
        if (arg == "--no-devices") {
            noDevices = true;
            continue;
        }
        if (arg != "--port-dir" && arg != "--com" && arg != "--model" && arg != "--pace" &&
            arg != "--firmware-version" && arg != "--fault" && arg != "--device")
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
        } else if (arg == "--firmware-version") {
            options.firmwareVersion = number(arg, value, 0, 99);
        } else if (arg == "--device") {
            std::string why;
            const auto device = sim::deviceFromSpec(value, &why);
            if (!device) usage("--device " + std::string(value) + ": " + why);
            for (const sim::Device& d : devices)
                if (d.address == device->address)
                    usage("--device " + std::string(value) + ": two devices at one address");
            devices.push_back(*device);
        } else if (arg == "--fault") {
            const auto f = sim::faultFromName(value);
            if (!f) usage(std::string("unknown fault: ") + value);
            faults.push_back(*f);
        }
    }
    if (portDir.empty() != (com == 0)) usage("--port-dir and --com go together");
    if (noDevices && !devices.empty()) usage("--no-devices and --device exclude each other");
    if (noDevices || !devices.empty()) options.devices = devices;

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
