#include "console/cli/session.h"

#include "console/base/pump.h"
#include "console/base/rs232.h"
#include "console/cli/cli.h"
#if SARNEL_HAS_SIMULATOR
#include "console/base/simulatedport.h"
#endif

#include <com/apartment.h>

#include <cstdio>
#include <stdexcept>

namespace sarnel::cli {

bool parseoptions(const std::vector<std::string>& args, PortOptions& options, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* name) -> const std::string* {
            if (i + 1 >= args.size()) {
                error = std::string(name) + " needs a value";
                return nullptr;
            }
            return &args[++i];
        };
        if (a == "--simulate") {
            options.simulate = true;
        } else if (a == "--continuous") {
            options.continuous = true;
        } else if (a == "--port") {
            const std::string* v = value("--port");
            if (!v) return false;
            options.port = *v;
        } else if (a == "--timeout") {
            const std::string* v = value("--timeout");
            if (!v) return false;
            char* end = nullptr;
            const long ms = std::strtol(v->c_str(), &end, 10);
            if (v->empty() || *end != '\0' || ms < 0 || ms > 3600000) {
                error = "--timeout takes milliseconds from 0 to 3600000, not '" + *v + "'";
                return false;
            }
            options.timeoutMs = static_cast<int>(ms);
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            error = "unknown option '" + a + "'";
            return false;
        } else {
            options.rest.push_back(a);
        }
    }
    return true;
}

void TextView::setRxd(const std::string& text) {
    rxd = text;
    // "!" + reply text + "[cr]": the code is the reply text's characters 3 and 4.
    if (!text.empty() && text[0] == '!') codes.push_back(text.size() >= 5 ? text.substr(3, 2) : "");
}

void TextView::reportDeniedPorts(const std::vector<DeniedPort>& denied) {
    std::fprintf(stderr, "sarnel-cli: %s\n", printable(deniedmessage(denied)).c_str());
}

#if SARNEL_HAS_SIMULATOR
struct Session::Simulation {
    SimulatedPort port;
};
#else
struct Session::Simulation {};
#endif

Session::Session(bool simulate) {
    apartment_ = com::succeeded(com::initializeApartment());
    if (simulate) {
#if SARNEL_HAS_SIMULATOR
        simulation_ = std::make_unique<Simulation>();
#else
        throw std::runtime_error("this build has no adapter simulator");
#endif
    }
    console_ = std::make_unique<MainConsole>(view_, state_, createRs232(), [] { return createRs232(); });
}

Session::~Session() {
    watch_.reset();
    console_.reset();
    simulation_.reset();
    if (apartment_) com::uninitializeApartment();
}

std::string Session::simulatedPort() const {
#if SARNEL_HAS_SIMULATOR
    if (simulation_) return simulation_->port.portName();
#endif
    return {};
}

bool Session::openport(const std::string& name) {
    watch_ = std::make_unique<UnplugWatch>(interrupts_, name);
    return console_->openport(name);
}

bool Session::awaitanswers(std::size_t from, const std::vector<std::string>& expected,
                           std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t next = from;  // the first reply not yet looked at
    std::size_t matched = 0;  // how many of `expected` have come
    auto arrived = [&] {
        for (; next < view_.codes.size() && matched < expected.size(); ++next) {
            if (view_.codes[next] == expected[matched]) ++matched;
        }
        return matched == expected.size();
    };
    pump().processEvents();
    while (!arrived() && !interrupts_.requested() && !unplugged() &&
           std::chrono::steady_clock::now() < deadline)
        pump().waitUntil(deadline);
    return arrived();
}

int finish(const char* command, Session& session, const std::string& port, bool answered, int timeoutMs) {
    if (session.interrupts().requested()) {
        std::fprintf(stderr, "sarnel-cli %s: interrupted (%s)\n", command, session.interrupts().name());
        return session.interrupts().exitstatus();
    }
    if (session.unplugged()) {
        std::fprintf(stderr, "sarnel-cli %s: %s\n", command, session.unplug().c_str());
        return kExitFailure;
    }
    if (!answered) {
        std::fprintf(stderr, "sarnel-cli %s: no reply from %s within %d ms\n", command, port.c_str(),
                     timeoutMs);
        return kExitNoReply;
    }
    return kExitOk;
}

std::string printable(const std::string& activity) {
    std::string out;
    out.reserve(activity.size());
    for (std::size_t i = 0; i < activity.size(); ++i) {
        if (activity[i] == '\r') {
            if (i + 1 < activity.size() && activity[i + 1] == '\n') ++i;
            out += '\n';
        } else {
            out += activity[i];
        }
    }
    if (!out.empty() && out.back() != '\n') out += '\n';
    return out;
}

}  // namespace sarnel::cli
