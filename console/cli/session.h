// What the port commands of sarnel-cli share: the console logic over a text view, the
// simulated adapter for --simulate, and the wait for the adapter's replies.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

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

// The bus activity list, RXD and the rest of the window as text; counts the replies decoded.
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

    std::string txd, rxd, queue, tokencount, text;
    bool continuous = false;
    int replies = 0;  // raw replies shown in RXD since the start
};

// One console session: enters the thread's apartment, starts the simulated adapter when
// asked (before any port is opened), and builds the console over a TextView.
class Session {
public:
    explicit Session(bool simulate);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    MainConsole& console() { return *console_; }
    TextView& view() { return view_; }
    // The simulated adapter's port name; "" without --simulate.
    std::string simulatedPort() const;
    // Lets events run until the view has counted `target` replies in all or `timeout` has
    // passed; true when they came. Take the target from view().replies before sending, so
    // that replies decoded during the write path's pause count.
    bool awaitreplies(int target, std::chrono::milliseconds timeout);

private:
    struct Simulation;
    std::unique_ptr<Simulation> simulation_;
    TextView view_;
    std::unique_ptr<MainConsole> console_;
    bool apartment_ = false;
};

// The activity text for a terminal: CR LF line breaks become "\n", a final line break added.
std::string printable(const std::string& activity);

}  // namespace sarnel::cli
