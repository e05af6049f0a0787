// sarnel-cli run: compiles a script and sends it as "Compile/Transmit" does.
#include <cstdio>
#include <exception>

#include "console/cli/cli.h"
#include "console/cli/input.h"
#include "console/cli/session.h"
#include "console/command/compiler.h"
#include "console/command/frames.h"

namespace sarnel::cli {

namespace {

int run(const std::vector<std::string>& args);

const CliCommand command(
    "run", "compile a script and send it to the adapter",
    "usage: sarnel-cli run --port NAME [--continuous] [--timeout MS] [--simulate] [FILE]\n"
    "Opens the port as the console's port list does, compiles FILE (standard input\n"
    "when FILE is absent or \"-\") and sends the frame, then prints the bus activity\n"
    "once the script's own reply has been decoded. Reports that the adapter sends\n"
    "meanwhile (reset, interrupt) are decoded as the console decodes them.\n"
    "  --port NAME    the port, e.g. COM3 or /dev/ttyUSB0 (COM3 with --simulate)\n"
    "  --continuous   as \"Continuous Rx\": the activity list is not cleared first\n"
    "  --timeout MS   how long to wait for the reply (default 1000)\n"
    "  --simulate     run against a fresh simulated adapter\n"
    "Exit codes: 0 done, 1 compile error or serial failure, 2 bad arguments,\n"
    "3 no reply within the time-out, 130 or 143 interrupted (SIGINT, SIGTERM).\n",
    run);

int run(const std::vector<std::string>& args) {
    if (wantsHelp(command, args)) return kExitOk;
    PortOptions options;
    std::string error;
    if (!parseoptions(args, options, error)) return usageError("run", error);
    if (options.rest.size() > 1) return usageError("run", "one script file at most");
    if (options.port.empty() && !options.simulate) return usageError("run", "--port NAME is required");

    std::string script;
    if (!readinput(options.rest.empty() ? "" : options.rest.front(), script, error)) {
        std::fprintf(stderr, "sarnel-cli run: %s\n", error.c_str());
        return kExitFailure;
    }
    std::string copy = script;
    const CompileResult compiled = compilescript(copy);
    if (compiled.frame.empty()) {
        writetext(stderr, "sarnel-cli run: " + printable(compiled.error));
        return kExitFailure;
    }

    try {
        Session session(options.simulate);
        const std::string port = options.port.empty() ? session.simulatedPort() : options.port;
        if (!session.console().openport(port)) return kExitFailure;
        session.view().queue = script;
        session.view().continuous = options.continuous;
        const std::size_t from = session.view().codes.size();
        session.console().link().compile();
        if (session.state().portopen == 0) return kExitFailure;  // the write failed; the alert said why
        const bool answered = session.awaitanswers(from, {std::string(answercode(compiled.frame))},
                                                   std::chrono::milliseconds(options.timeoutMs));
        writetext(stdout, printable(session.view().text));
        return finish("run", session, port, answered, options.timeoutMs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sarnel-cli run: %s\n", e.what());
        return kExitFailure;
    }
}

}  // namespace

}  // namespace sarnel::cli
