// What the port commands of sarnel-cli share: the console logic over a text view, the
// simulated adapter for --simulate, and the wait for the adapter's replies.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console/base/consolestate.h"
#include "console/cli/interrupts.h"
#include "console/cli/unplugwatch.h"
#include "console/shell/mainconsole.h"

namespace sarnel::cli {

inline constexpr int kExitNoReply = 3;

// The options every port command takes, taken out of the argument list.
struct PortOptions {
    bool simulate = false;
    std::string port;               // --port NAME
    int timeoutMs = 1000;           // --timeout MS
    bool continuous = false;        // --continuous
    std::vector<std::string> rest;  // what remains, in order
};
// Parses the options; false with `error` set for a malformed one.
bool parseoptions(const std::vector<std::string>& args, PortOptions& options, std::string& error);

// The bus activity list, RXD and the rest of the window as text; keeps the code of every
// reply decoded.
class TextView final : public ConsoleView, public BusActivity {
public:
    void setTxd(const std::string& text) override { txd = text; }
    void setRxd(const std::string& text) override;
    BusActivity& activity() override { return *this; }
    std::string queueText() override { return queue; }
    void setTokenCount(const std::string& text) override { tokencount = text; }
    void setPortList(const std::vector<std::string>&) override {}
    void showPortEntry(int) override {}
    void reportDeniedPorts(const std::vector<DeniedPort>& denied) override;

    void clear() override { text.clear(); }
    void append(std::string_view t) override { text.append(t); }
    void setRxd(std::string_view t) override { setRxd(std::string(t)); }
    bool continuousRx() override { return continuous; }
    void replied(std::string_view reply, std::string_view lines) override {
        if (onreply) onreply(reply, lines);
    }

    std::string txd, rxd, queue, tokencount, text;
    bool continuous = false;
    // The reply code (characters 3 and 4 of the reply text) of every raw reply shown in RXD
    // since the start, in order of arrival.
    std::vector<std::string> codes;
    // Every reply the decoder takes, with the lines it added (BusActivity::replied).
    std::function<void(std::string_view reply, std::string_view lines)> onreply;
};

// One console session: takes over Ctrl-C and termination requests (before any thread
// starts), enters the thread's apartment, starts the simulated adapter when asked (before
// any port is opened), and builds the console over a TextView and a console state of its own.
class Session {
public:
    explicit Session(bool simulate);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    MainConsole& console() { return *console_; }
    TextView& view() { return view_; }
    Interrupts& interrupts() { return interrupts_; }
    ConsoleState& state() { return state_; }
    // The simulated adapter's port name; "" without --simulate.
    std::string simulatedPort() const;
    // Opens the port as choosing it in the port list does, and watches it from then on;
    // false after a failure (the alert has been shown).
    bool openport(const std::string& name);
    // True once the open port's adapter has been unplugged; unplug() then says so.
    bool unplugged() const { return watch_ && watch_->unplugged(); }
    std::string unplug() const { return watch_ ? watch_->text() : std::string(); }
    // Lets events run until replies with the codes `expected` have come in this order among
    // the replies from number `from` on, `timeout` has passed, an interrupt has come or the
    // adapter has been unplugged; true
    // when they came. Replies of other codes (the adapter's reset and interrupt reports) are
    // decoded as the window decodes them, and the wait goes on. Take `from` from
    // view().codes.size() before sending, so that replies decoded during the write path's
    // pause count.
    bool awaitanswers(std::size_t from, const std::vector<std::string>& expected,
                      std::chrono::milliseconds timeout);

private:
    Interrupts interrupts_;  // first: made before the simulated adapter's thread
    struct Simulation;
    std::unique_ptr<Simulation> simulation_;
    TextView view_;
    ConsoleState state_;
    std::unique_ptr<MainConsole> console_;
    std::unique_ptr<UnplugWatch> watch_;
    bool apartment_ = false;
};

// The end of a port command after its wait: an interrupt gives its status (130, 143) with a
// line on standard error, an unplugged adapter kExitFailure with the unplug's text, no answer
// within the time-out kExitNoReply with a line naming the port, else kExitOk.
int finish(const char* command, Session& session, const std::string& port, bool answered, int timeoutMs);

// The activity text for a terminal: CR LF line breaks become "\n", a final line break added.
std::string printable(const std::string& activity);

}  // namespace sarnel::cli
