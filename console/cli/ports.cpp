// sarnel-cli ports: the port scan, one line per port found.
#include <cstdio>
#include <exception>

#include "console/cli/cli.h"
#include "console/cli/session.h"

namespace sarnel::cli {

namespace {

int run(const std::vector<std::string>& args);

const CliCommand command(
    "ports", "scan the serial ports for the adapter",
    "usage: sarnel-cli ports [--all] [--simulate]\n"
    "Scans COM1 to COM999 as the console's port list does and prints one line per\n"
    "port found: its name and its device path, separated by a tab.\n"
    "  --all       list every port that opens, not only those that answer as an adapter\n"
    "  --simulate  scan with a simulated adapter present (as COM3)\n",
    run);

int run(const std::vector<std::string>& args) {
    if (wantsHelp(command, args)) return kExitOk;
    bool all = false;
    std::vector<std::string> rest;
    for (const std::string& a : args) {
        if (a == "--all")
            all = true;
        else
            rest.push_back(a);
    }
    PortOptions options;
    std::string error;
    if (!parseoptions(rest, options, error)) return usageError("ports", error);
    if (!options.rest.empty())
        return usageError("ports", "unexpected argument '" + options.rest.front() + "'");
    try {
        Session session(options.simulate);
        session.console().portscanx(all ? 0 : 1);
        for (const ScannedPort& port : session.console().lastscan().ports)
            std::printf("%s\t%s\n", port.name.c_str(), port.path.c_str());
        return kExitOk;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sarnel-cli ports: %s\n", e.what());
        return kExitFailure;
    }
}

}  // namespace

}  // namespace sarnel::cli
