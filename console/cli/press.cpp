// sarnel-cli press: one of the console's fixed command buttons.
#include <cstdio>
#include <exception>

#include "console/cli/benchline.h"
#include "console/cli/cli.h"
#include "console/cli/input.h"
#include "console/cli/session.h"
#include "console/command/frames.h"

namespace sarnel::cli {

namespace {

int run(const std::vector<std::string>& args);

const CliCommand command("press", "send a fixed command button's frames",
                         "usage: sarnel-cli press --port NAME [--timeout MS] [--json] [--simulate] BUTTON\n"
                         "Sends the frames of the button with caption BUTTON (Ping, H>L, L>H, On, Off,\n"
                         "Slow, Fast, Reset?, Save Last, Run Saved, Reset!) as the console does and\n"
                         "prints the bus activity once the replies that answer them have been\n"
                         "decoded (reports the adapter sends meanwhile are decoded too).\n"
                         "  --port NAME    the port: COM3, /dev/ttyUSB0, rfc2217://bench7:4001 (COM3 with\n"
                         "                 --simulate)\n"
                         "  --timeout MS   how long to wait for the replies (default 1000)\n"
                         "  --json         print one JSON object per decoded reply instead, each on its\n"
                         "                 own line, with \"t\", the seconds since the command started\n"
                         "  --simulate     run against a fresh simulated adapter\n"
                         "Exit codes: 0 done, 1 serial failure, 2 bad arguments, 3 no reply in time,\n"
                         "130 or 143 interrupted (SIGINT, SIGTERM).\n",
                         run);

int run(const std::vector<std::string>& given) {
    if (wantsHelp(command, given)) return kExitOk;
    std::vector<std::string> args = given;
    const bool json = takeflag(args, "--json");
    PortOptions options;
    std::string error;
    if (!parseoptions(args, options, error)) return usageError("press", error);
    if (options.rest.size() != 1) return usageError("press", "name one BUTTON");
    if (options.port.empty() && !options.simulate) return usageError("press", "--port NAME is required");

    const CommandButton* button = nullptr;
    std::string captions;
    for (const CommandButton& b : commandbuttons()) {
        if (b.action != ButtonAction::Frames) continue;
        captions += (captions.empty() ? "" : ", ") + std::string(b.caption);
        if (b.caption == options.rest.front()) button = &b;
    }
    if (!button)
        return usageError("press", "no button '" + options.rest.front() + "' (buttons: " + captions + ")");

    try {
        const auto started = bench::Clock::now();
        Session session(options.simulate);
        const std::string port = options.port.empty() ? session.simulatedPort() : options.port;
        if (!session.openport(port)) return kExitFailure;
        std::vector<std::string> answers;
        for (std::string_view frame : button->frames) answers.emplace_back(answercode(frame));
        BenchLine line(session, started);
        line.json = json;
        const std::size_t from = session.view().codes.size();
        session.console().cmmdclick(button->index);
        if (session.state().portopen == 0) return kExitFailure;
        const bool answered =
            session.awaitanswers(from, answers, std::chrono::milliseconds(options.timeoutMs));
        if (!json) writetext(stdout, printable(session.view().text));
        return finish("press", session, port, answered, options.timeoutMs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sarnel-cli press: %s\n", e.what());
        return kExitFailure;
    }
}

}  // namespace

}  // namespace sarnel::cli
