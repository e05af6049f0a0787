// sarnel-cli run: compiles a script and sends it as "Compile/Transmit" does, once or again and
// again (--repeat).
#include <cstdio>
#include <exception>

#include "console/bench/optionvalues.h"
#include "console/bench/repeat.h"
#include "console/bench/sessionlog.h"
#include "console/cli/benchline.h"
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
    "usage: sarnel-cli run --port NAME [--continuous] [--timeout MS] [--json] [--log FILE]\n"
    "                      [--repeat N [--interval MS]] [--simulate] [FILE]\n"
    "Opens the port as the console's port list does, compiles FILE (standard input\n"
    "when FILE is absent or \"-\") and sends the frame, then prints the bus activity\n"
    "once the script's own reply has been decoded. Reports that the adapter sends\n"
    "meanwhile (reset, interrupt) are decoded as the console decodes them.\n"
    "  --port NAME    the port, e.g. COM3, /dev/ttyUSB0 or rfc2217://bench7:4001 (COM3 with\n"
    "                 --simulate)\n"
    "  --continuous   as \"Continuous Rx\": the activity list is not cleared first\n"
    "  --timeout MS   how long to wait for the reply (default 1000)\n"
    "  --json         print one JSON object per decoded reply, each on its own line,\n"
    "                 with \"t\", the seconds since the command started\n"
    "  --log FILE     write every frame and reply with its time to FILE: CSV when it\n"
    "                 ends in .csv, text otherwise\n"
    "  --repeat N     run the script N times (0: until interrupted), printing each\n"
    "                 reply's lines (or JSON) as it comes, and a summary on standard\n"
    "                 error at the end: runs, replies, time-outs, round trips\n"
    "  --interval MS  with --repeat: start at most one run every MS milliseconds\n"
    "  --simulate     run against a fresh simulated adapter\n"
    "Exit codes: 0 done, 1 compile error or serial failure (with --repeat: the port\n"
    "closed, e.g. the adapter was unplugged), 2 bad arguments, 3 no reply within the\n"
    "time-out (with --repeat: for at least one run), 130 or 143 interrupted (SIGINT,\n"
    "SIGTERM; with --repeat after the summary).\n",
    run);

struct RunOptions {
    PortOptions port;
    bool json = false;
    std::optional<std::string> log;
    std::optional<std::uint64_t> repeat;
    std::chrono::milliseconds interval{0};
};

// The bench options first, then the port options from what is left; "" or the reason.
std::string parse(const std::vector<std::string>& given, RunOptions& o) {
    std::vector<std::string> args = given;
    std::string error;
    o.json = takeflag(args, "--json");
    std::optional<std::string> repeat, interval;
    if (!takevalue(args, "--log", o.log, error) || !takevalue(args, "--repeat", repeat, error) ||
        !takevalue(args, "--interval", interval, error))
        return error;
    if (repeat) {
        o.repeat = bench::parserepeat(*repeat, error);
        if (!o.repeat) return "--repeat takes " + error;
    }
    if (interval) {
        if (!repeat) return "--interval goes with --repeat";
        const auto ms = bench::parsemilliseconds(*interval, error);
        if (!ms) return "--interval takes " + error;
        o.interval = std::chrono::milliseconds(*ms);
    }
    if (o.log && o.log->empty()) return "--log needs a file name";
    if (!parseoptions(args, o.port, error)) return error;
    if (o.port.rest.size() > 1) return "one script file at most";
    if (o.port.port.empty() && !o.port.simulate) return "--port NAME is required";
    return {};
}

// --repeat: the frame again and again through the bench tools' repeat; each reply's lines (or
// its JSON line) as it comes, the summary at the end.
int repeat(Session& session, BenchLine& line, const RunOptions& o, const std::string& frame,
           const std::string& port) {
    if (!o.json)
        line.onreply = [](std::string_view, std::string_view lines) {
            if (!lines.empty()) writetext(stdout, printable(std::string(lines)));
        };
    const auto timeout = std::chrono::milliseconds(o.port.timeoutMs);
    bench::RepeatRun runs(frame, {*o.repeat, o.interval, timeout}, line);
    line.run(runs);
    std::fflush(stdout);
    const bench::RepeatSummary& s = runs.summary();
    std::fprintf(stderr, "sarnel-cli run: %s\n", bench::summarytext(s).c_str());
    if (session.interrupts().requested() || session.unplugged())
        return finish("run", session, port, true, o.port.timeoutMs);
    if (runs.outcome() == bench::RepeatRun::Outcome::NotSent) {
        std::fprintf(stderr, "sarnel-cli run: stopped: run %llu could not be sent on %s\n",
                     static_cast<unsigned long long>(s.runs), port.c_str());
        return kExitFailure;
    }
    if (s.timeouts > 0) {
        std::fprintf(stderr, "sarnel-cli run: %llu of %llu runs had no reply from %s within %d ms\n",
                     static_cast<unsigned long long>(s.timeouts), static_cast<unsigned long long>(s.runs),
                     port.c_str(), o.port.timeoutMs);
        return kExitNoReply;
    }
    return kExitOk;
}

int run(const std::vector<std::string>& args) {
    if (wantsHelp(command, args)) return kExitOk;
    RunOptions o;
    std::string error = parse(args, o);
    if (!error.empty()) return usageError("run", error);
    const PortOptions& options = o.port;

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
    bench::LogFile log;
    if (o.log && !log.open(*o.log)) {
        std::fprintf(stderr, "sarnel-cli run: %s\n", log.error().c_str());
        return kExitFailure;
    }

    int status = kExitFailure;
    try {
        const auto started = bench::Clock::now();
        Session session(options.simulate);
        const std::string port = options.port.empty() ? session.simulatedPort() : options.port;
        if (session.openport(port)) {
            session.view().queue = script;
            session.view().continuous = options.continuous;
            BenchLine line(session, started);
            line.json = o.json;
            line.log = o.log ? &log : nullptr;
            if (o.repeat) {
                status = repeat(session, line, o, compiled.frame, port);
            } else {
                // As "Compile/Transmit" does it.
                line.logsent(compiled.frame);
                const std::size_t from = session.view().codes.size();
                session.console().link().compile();
                if (session.state().portopen != 0) {  // else the write failed; the alert said why
                    const bool answered =
                        session.awaitanswers(from, {std::string(answercode(compiled.frame))},
                                             std::chrono::milliseconds(options.timeoutMs));
                    if (!o.json) writetext(stdout, printable(session.view().text));
                    status = finish("run", session, port, answered, options.timeoutMs);
                }
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sarnel-cli run: %s\n", e.what());
        status = kExitFailure;
    }
    if (!log.close()) {
        std::fprintf(stderr, "sarnel-cli run: %s\n", log.error().c_str());
        if (status == kExitOk) status = kExitFailure;
    }
    return status;
}

}  // namespace

}  // namespace sarnel::cli
