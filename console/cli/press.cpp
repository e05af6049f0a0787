// sarnel-cli press: one of the console's fixed command buttons.
#include <cstdio>
#include <exception>

#include "console/cli/cli.h"
#include "console/cli/session.h"
#include "console/command/frames.h"

namespace sarnel::cli {

namespace {

int run(const std::vector<std::string>& args);

const CliCommand command("press", "send a fixed command button's frames",
                         "usage: sarnel-cli press --port NAME [--timeout MS] [--simulate] BUTTON\n"
                         "Sends the frames of the button with caption BUTTON (Ping, H>L, L>H, On, Off,\n"
                         "Slow, Fast, Reset?, Save Last, Run Saved, Reset!) as the console does and\n"
                         "prints the bus activity after the replies.\n"
                         "  --port NAME    the port (COM3 with --simulate)\n"
                         "  --timeout MS   how long to wait for the replies (default 1000)\n"
                         "  --simulate     run against a fresh simulated adapter\n"
                         "Exit codes: 0 done, 1 serial failure, 2 bad arguments, 3 no reply in time.\n",
                         run);

int run(const std::vector<std::string>& args) {
    if (wantsHelp(command, args)) return kExitOk;
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
        Session session(options.simulate);
        const std::string port = options.port.empty() ? session.simulatedPort() : options.port;
        if (!session.console().openport(port)) return kExitFailure;
        const int target = session.view().replies + static_cast<int>(button->frames.size());
        session.console().cmmdclick(button->index);
        if (portopen() == 0) return kExitFailure;
        if (!session.awaitreplies(target, std::chrono::milliseconds(options.timeoutMs))) {
            std::fprintf(stderr, "sarnel-cli press: no reply from %s within %d ms\n", port.c_str(),
                         options.timeoutMs);
            std::fputs(printable(session.view().text).c_str(), stdout);
            return kExitNoReply;
        }
        std::fputs(printable(session.view().text).c_str(), stdout);
        return kExitOk;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sarnel-cli press: %s\n", e.what());
        return kExitFailure;
    }
}

}  // namespace

}  // namespace sarnel::cli
