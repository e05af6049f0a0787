// sarnel-cli run: compiles a script and sends it as "Compile/Transmit" does.
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "console/cli/cli.h"
#include "console/cli/session.h"

namespace sarnel::cli {

namespace {

int run(const std::vector<std::string>& args);

const CliCommand command(
    "run", "compile a script and send it to the adapter",
    "usage: sarnel-cli run --port NAME [--continuous] [--timeout MS] [--simulate] [FILE]\n"
    "Opens the port as the console's port list does, compiles FILE (standard input\n"
    "when FILE is absent or \"-\") and sends the frame, then prints the bus activity\n"
    "once the reply has been decoded.\n"
    "  --port NAME    the port, e.g. COM3 or /dev/ttyUSB0 (COM3 with --simulate)\n"
    "  --continuous   as \"Continuous Rx\": the activity list is not cleared first\n"
    "  --timeout MS   how long to wait for the reply (default 1000)\n"
    "  --simulate     run against a fresh simulated adapter\n"
    "Exit codes: 0 done, 1 compile error or serial failure, 2 bad arguments,\n"
    "3 no reply within the time-out.\n",
    run);

bool readscript(const std::string& file, std::string& script) {
    if (file.empty() || file == "-") {
        script.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return !std::cin.bad();
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    script.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int run(const std::vector<std::string>& args) {
    if (wantsHelp(command, args)) return kExitOk;
    PortOptions options;
    std::string error;
    if (!parseoptions(args, options, error)) return usageError("run", error);
    if (options.rest.size() > 1) return usageError("run", "one script file at most");
    if (options.port.empty() && !options.simulate) return usageError("run", "--port NAME is required");

    std::string script;
    const std::string file = options.rest.empty() ? "" : options.rest.front();
    if (!readscript(file, script)) {
        std::fprintf(stderr, "sarnel-cli run: cannot read '%s'\n", file.c_str());
        return kExitFailure;
    }
    std::string copy = script;
    const CompileResult compiled = compilescript(copy);
    if (compiled.frame.empty()) {
        std::fprintf(stderr, "sarnel-cli run: %s\n", printable(compiled.error).c_str());
        return kExitFailure;
    }

    try {
        Session session(options.simulate);
        const std::string port = options.port.empty() ? session.simulatedPort() : options.port;
        if (!session.console().openport(port)) return kExitFailure;
        session.view().queue = script;
        session.view().continuous = options.continuous;
        const int target = session.view().replies + 1;
        session.console().compilequeue();
        if (portopen() == 0) return kExitFailure;  // the write failed; the alert said why
        if (!session.awaitreplies(target, std::chrono::milliseconds(options.timeoutMs))) {
            std::fprintf(stderr, "sarnel-cli run: no reply from %s within %d ms\n", port.c_str(),
                         options.timeoutMs);
            return kExitNoReply;
        }
        std::fputs(printable(session.view().text).c_str(), stdout);
        return kExitOk;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sarnel-cli run: %s\n", e.what());
        return kExitFailure;
    }
}

}  // namespace

}  // namespace sarnel::cli
