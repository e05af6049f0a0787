#include "console/cli/benchline.h"

#include <cstdio>

#include "console/bench/jsonout.h"
#include "console/cli/cli.h"
#include "console/cli/input.h"

namespace sarnel::cli {

bool takeflag(std::vector<std::string>& args, std::string_view name) {
    bool found = false;
    for (auto i = args.begin(); i != args.end();) {
        if (*i == name) {
            i = args.erase(i);
            found = true;
        } else {
            ++i;
        }
    }
    return found;
}

bool takevalue(std::vector<std::string>& args, std::string_view name, std::optional<std::string>& value,
               std::string& error) {
    for (std::size_t i = 0; i < args.size();) {
        if (args[i] != name) {
            ++i;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = std::string(name) + " needs a value";
            return false;
        }
        value = args[i + 1];
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    }
    return true;
}

BenchLine::BenchLine(Session& session, bench::Clock::time_point started)
    : session_(session), started_(started) {
    session_.view().onreply = [this](std::string_view reply, std::string_view lines) {
        replied(reply, lines);
    };
}

BenchLine::~BenchLine() {
    session_.view().onreply = nullptr;
}

bool BenchLine::send(const std::string& frame) {
    logsent(frame);
    session_.console().link().ComWrite(frame, 0);
    return session_.state().portopen != 0;
}

void BenchLine::logsent(const std::string& frame) {
    if (log) log->write(entries_.sent(frame));
}

void BenchLine::run(bench::Exchange& exchange) {
    exchange_ = &exchange;
    bench::runexchange(exchange,
                       [this] { return session_.interrupts().requested() || session_.unplugged(); });
    exchange_ = nullptr;
}

void BenchLine::replied(std::string_view reply, std::string_view lines) {
    const bench::Clock::time_point now = bench::Clock::now();
    if (log) log->write(entries_.received(reply, lines));
    if (exchange_) exchange_->replied(reply, now);
    if (json) {
        const double t = std::chrono::duration<double>(now - started_).count();
        writetext(stdout, bench::replyjson(t, reply, lines) + "\n");
    }
    if (onreply) onreply(reply, lines);
}

int benchfinish(const char* command, Session& session, const std::string& port, bool sent, bool answered,
                int timeoutMs) {
    if (!session.interrupts().requested() && !session.unplugged() && !sent) {
        std::fprintf(stderr, "sarnel-cli %s: the frame could not be sent on %s\n", command, port.c_str());
        return kExitFailure;
    }
    return finish(command, session, port, answered, timeoutMs);
}

}  // namespace sarnel::cli
