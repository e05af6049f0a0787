// sarnel-cli reg: reads and writes a device's registers.
#include <cstdio>
#include <exception>

#include "console/bench/jsonout.h"
#include "console/bench/optionvalues.h"
#include "console/bench/registers.h"
#include "console/bench/transferrun.h"
#include "console/cli/benchline.h"
#include "console/cli/cli.h"
#include "console/cli/input.h"

namespace sarnel::cli {

namespace {

int run(const std::vector<std::string>& args);

const CliCommand command(
    "reg", "read or write a device's registers",
    "usage: sarnel-cli reg read --port NAME --addr A --reg R [--count N] [--reg16] [--json]\n"
    "                           [--timeout MS] [--simulate]\n"
    "       sarnel-cli reg write --port NAME --addr A --reg R --data B[,B...] [--reg16]\n"
    "                            [--timeout MS] [--simulate]\n"
    "read:  Start, Write address+W, Write register, Start, Write address+R, N - 1 reads\n"
    "       with Ack and one with Nack, Stop; prints the bytes, e.g. \"0x19 0x80\".\n"
    "write: Start, Write address+W, Write register, Write each data byte, Stop.\n"
    "A request larger than a script frame runs on over several frames (a 256-byte EEPROM\n"
    "read is one sequential read). Numbers are decimal or 0x hexadecimal.\n"
    "  --port NAME    the adapter's port, e.g. COM3, /dev/ttyUSB0 or rfc2217://bench7:4001\n"
    "                 (COM3 with --simulate)\n"
    "  --addr A       the device's 7-bit address, 0x00 to 0x7F\n"
    "  --reg R        the register address, 0x00 to 0xFF\n"
    "  --reg16        the register address is 16-bit, sent high byte first\n"
    "  --count N      read: how many bytes, 1 to 65536 (default 1)\n"
    "  --json         read: print {\"addr\": 72, \"reg\": 0, \"data\": [25, 128]}\n"
    "  --data B,...   write: the bytes, 0x00 to 0xFF each, separated by commas\n"
    "  --timeout MS   how long to wait for each frame's reply (default 1000)\n"
    "  --simulate     use a fresh simulated adapter (an LM75 at 0x48, an EEPROM at 0x50)\n"
    "Exit codes: 0 done; 1 a byte was not acknowledged (the message names it) or a serial\n"
    "failure; 2 bad arguments; 3 no reply within the time-out; 130 or 143 interrupted.\n",
    run);

std::string hexbytes(const std::vector<std::uint8_t>& data) {
    std::string text;
    for (std::uint8_t b : data) {
        char byte[8];
        std::snprintf(byte, sizeof byte, "%s0x%02X", text.empty() ? "" : " ", b);
        text += byte;
    }
    return text + "\n";
}

int run(const std::vector<std::string>& given) {
    if (wantsHelp(command, given)) return kExitOk;
    if (given.empty() || (given.front() != "read" && given.front() != "write"))
        return usageError("reg", "say read or write");
    const bool reading = given.front() == "read";
    std::vector<std::string> args(given.begin() + 1, given.end());
    std::string error;
    bench::RegisterAddress at;
    at.reg16 = takeflag(args, "--reg16");
    const bool json = takeflag(args, "--json");
    std::optional<std::string> addr, reg, count, data;
    for (auto [name, value] :
         {std::pair{"--addr", &addr}, {"--reg", &reg}, {"--count", &count}, {"--data", &data}})
        if (!takevalue(args, name, *value, error)) return usageError("reg", error);
    if (!addr) return usageError("reg", "--addr A is required");
    if (!reg) return usageError("reg", "--reg R is required");
    if (reading && data) return usageError("reg", "--data belongs to reg write");
    if (!reading && (count || json))
        return usageError("reg", std::string(count ? "--count" : "--json") + " belongs to reg read");
    if (!reading && !data) return usageError("reg", "--data B[,B...] is required");
    const auto device = bench::parseaddress(*addr, error);
    if (!device) return usageError("reg", "--addr takes " + error);
    const auto regvalue = bench::parseregister(*reg, at.reg16, error);
    if (!regvalue) return usageError("reg", "--reg takes " + error);
    at.device = *device;
    at.reg = *regvalue;
    std::size_t bytes = 1;
    if (count) {
        const auto n = bench::parsecount(*count, error);
        if (!n) return usageError("reg", "--count takes " + error);
        bytes = *n;
    }
    std::vector<std::uint8_t> values;
    if (data) {
        const auto d = bench::parsedata(*data, error);
        if (!d) return usageError("reg", "--data takes " + error);
        values = *d;
    }
    PortOptions options;
    if (!parseoptions(args, options, error)) return usageError("reg", error);
    if (options.continuous) return usageError("reg", "unknown option '--continuous'");
    if (!options.rest.empty()) return usageError("reg", "unexpected argument '" + options.rest.front() + "'");
    if (options.port.empty() && !options.simulate) return usageError("reg", "--port NAME is required");

    try {
        const auto started = bench::Clock::now();
        Session session(options.simulate);
        const std::string port = options.port.empty() ? session.simulatedPort() : options.port;
        if (!session.openport(port)) return kExitFailure;
        std::unique_ptr<bench::Transfer> request;
        if (reading)
            request = std::make_unique<bench::RegisterRead>(at, bytes);
        else
            request = std::make_unique<bench::RegisterWrite>(at, values);
        BenchLine line(session, started);
        bench::TransferRun exchange(*request, line, std::chrono::milliseconds(options.timeoutMs));
        line.run(exchange);
        using Outcome = bench::TransferRun::Outcome;
        if (exchange.outcome() != Outcome::Done)
            return benchfinish("reg", session, port, exchange.outcome() != Outcome::NotSent,
                               exchange.outcome() != Outcome::NoReply, options.timeoutMs);
        if (!request->error().empty()) {
            std::fprintf(stderr, "sarnel-cli reg: %s\n", request->error().c_str());
            return kExitFailure;
        }
        if (reading) {
            const auto& read = static_cast<const bench::RegisterRead&>(*request).data();
            writetext(stdout, json ? bench::registerjson(at, read) + "\n" : hexbytes(read));
        }
        return kExitOk;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sarnel-cli reg: %s\n", e.what());
        return kExitFailure;
    }
}

}  // namespace

}  // namespace sarnel::cli
