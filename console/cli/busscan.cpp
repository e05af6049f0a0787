// sarnel-cli bus-scan: which addresses on the bus acknowledge, as an i2cdetect-style grid.
#include "console/bench/busscan.h"

#include <cstdio>
#include <exception>

#include "console/bench/jsonout.h"
#include "console/bench/optionvalues.h"
#include "console/bench/transferrun.h"
#include "console/cli/benchline.h"
#include "console/cli/cli.h"
#include "console/cli/input.h"

namespace sarnel::cli {

namespace {

int run(const std::vector<std::string>& args);

const CliCommand command(
    "bus-scan", "list the addresses that acknowledge on the I2C bus",
    "usage: sarnel-cli bus-scan --port NAME [--json] [--read] [--first A] [--last A]\n"
    "                           [--timeout MS] [--simulate]\n"
    "Probes every 7-bit address from --first to --last with Start, Write (address << 1),\n"
    "Stop, as many probes to a script frame as it holds, and prints a grid of the addresses:\n"
    "\"--\" where nothing acknowledged, the address where a device did.\n"
    "  --port NAME    the adapter's port, e.g. COM3, /dev/ttyUSB0 or rfc2217://bench7:4001\n"
    "                 (COM3 with --simulate)\n"
    "  --json         print {\"found\": [72, 80]}: the acknowledged addresses, ascending\n"
    "  --read         probe with Start, Write (address << 1 | 1), Read Nack, Stop instead,\n"
    "                 for devices that a write could disturb\n"
    "  --first A      the first address (default 0x08); decimal or 0x hexadecimal\n"
    "  --last A       the last address (default 0x77)\n"
    "  --timeout MS   how long to wait for each frame's reply (default 1000)\n"
    "  --simulate     scan a fresh simulated adapter's bus\n"
    "Exit codes: 0 the scan ran, found or not; 1 a serial failure or a reply that does not\n"
    "answer; 2 bad arguments; 3 no reply within the time-out; 130 or 143 interrupted.\n",
    run);

int run(const std::vector<std::string>& given) {
    if (wantsHelp(command, given)) return kExitOk;
    std::vector<std::string> args = given;
    std::string error;
    bench::ScanRange range;
    const bool json = takeflag(args, "--json");
    range.readProbe = takeflag(args, "--read");
    std::optional<std::string> first, last;
    if (!takevalue(args, "--first", first, error) || !takevalue(args, "--last", last, error))
        return usageError("bus-scan", error);
    for (auto [text, address, name] :
         {std::tuple{&first, &range.first, "--first"}, {&last, &range.last, "--last"}}) {
        if (!*text) continue;
        const auto a = bench::parseaddress(**text, error);
        if (!a) return usageError("bus-scan", std::string(name) + " takes " + error);
        *address = *a;
    }
    if (range.first > range.last) return usageError("bus-scan", "--first is above --last");
    PortOptions options;
    if (!parseoptions(args, options, error)) return usageError("bus-scan", error);
    if (options.continuous) return usageError("bus-scan", "unknown option '--continuous'");
    if (!options.rest.empty())
        return usageError("bus-scan", "unexpected argument '" + options.rest.front() + "'");
    if (options.port.empty() && !options.simulate) return usageError("bus-scan", "--port NAME is required");

    try {
        const auto started = bench::Clock::now();
        Session session(options.simulate);
        const std::string port = options.port.empty() ? session.simulatedPort() : options.port;
        if (!session.openport(port)) return kExitFailure;
        bench::BusScan scan(range);
        BenchLine line(session, started);
        bench::TransferRun exchange(scan, line, std::chrono::milliseconds(options.timeoutMs));
        line.run(exchange);
        using Outcome = bench::TransferRun::Outcome;
        if (exchange.outcome() != Outcome::Done)
            return benchfinish("bus-scan", session, port, exchange.outcome() != Outcome::NotSent,
                               exchange.outcome() != Outcome::NoReply, options.timeoutMs);
        if (!scan.error().empty()) {
            std::fprintf(stderr, "sarnel-cli bus-scan: %s\n", scan.error().c_str());
            return kExitFailure;
        }
        writetext(stdout, json ? bench::scanjson(scan.found()) + "\n" : bench::scangrid(range, scan.found()));
        return kExitOk;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sarnel-cli bus-scan: %s\n", e.what());
        return kExitFailure;
    }
}

}  // namespace

}  // namespace sarnel::cli
