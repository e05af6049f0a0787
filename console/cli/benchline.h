// What sarnel-cli's bench commands (bus-scan, reg, run --repeat) share: their own options, and
// the session's port as the bench tools use it, with JSON lines and the session log on the
// way.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/bench/exchange.h"
#include "console/bench/sessionlog.h"
#include "console/cli/session.h"

namespace sarnel::cli {

// Takes "--name" out of `args`; true when it was there.
bool takeflag(std::vector<std::string>& args, std::string_view name);
// Takes "--name VALUE" out of `args` (the last one counts when it is given twice). False,
// with `error` set, when the value is missing.
bool takevalue(std::vector<std::string>& args, std::string_view name, std::optional<std::string>& value,
               std::string& error);

// The session's port: frames go through the console's write path, and every reply the
// receive path decodes goes to the exchange being run, to standard output as a JSON line when
// `json` is set, and to the log when one is given.
class BenchLine final : public bench::BenchPort {
public:
    // `started` is the time 0 of the JSON lines' "t".
    BenchLine(Session& session, bench::Clock::time_point started);
    ~BenchLine() override;
    BenchLine(const BenchLine&) = delete;
    BenchLine& operator=(const BenchLine&) = delete;

    bool json = false;
    bench::LogFile* log = nullptr;
    // Every decoded reply, after the exchange has seen it (it must not send).
    std::function<void(std::string_view reply, std::string_view lines)> onreply;

    // ComWrite without a pause; false when the port is not open or the write failed.
    bool send(const std::string& frame) override;
    // Logs a frame that goes out by another way (the compile action).
    void logsent(const std::string& frame);
    // Runs `exchange` until it ends, Ctrl-C (or SIGTERM) comes or the adapter is unplugged.
    void run(bench::Exchange& exchange);

private:
    void replied(std::string_view reply, std::string_view lines);

    Session& session_;
    bench::Clock::time_point started_;
    bench::Exchange* exchange_ = nullptr;
    bench::SessionLog entries_;
};

// The end of a bench command that ran `exchange` on `port`: an interrupt gives its status
// (130, 143), an unplugged adapter kExitFailure, a frame that could not be sent kExitFailure (the alert has
// said why), no answer in time kExitNoReply; each with a line on standard error. 0 when it ran to its end.
int benchfinish(const char* command, Session& session, const std::string& port, bool sent, bool answered,
                int timeoutMs);

}  // namespace sarnel::cli
