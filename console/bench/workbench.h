// The bench tools of the main window on its link to the adapter: the session log, the reply
// timer of the status bar, and the open port as the bench windows use it. It watches the
// link (every frame written, every reply decoded) and hands each reply on to the exchanges
// that listen, so a scan or a watch runs through the same write and receive paths as
// "Compile/Transmit".
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "console/base/consolestate.h"
#include "console/bench/exchange.h"
#include "console/bench/logbook.h"
#include "console/link/adapterlink.h"
#include "console/link/linkwatcher.h"
#include "console/link/replytimer.h"

namespace sarnel::bench {

// What is handed every reply the link decodes (from inside the decoder: it must not send).
class ReplyListener {
public:
    virtual ~ReplyListener() = default;
    virtual void replied(std::string_view reply, Clock::time_point now) = 0;
};

class Workbench final : public LinkWatcher, public BenchPort {
public:
    // Watches `link` until destroyed. The link and the state outlive this.
    Workbench(AdapterLink& link, ConsoleState& state, std::size_t logLimit = LogBook::kDefaultLimit);
    ~Workbench() override;
    Workbench(const Workbench&) = delete;
    Workbench& operator=(const Workbench&) = delete;

    LogBook& log() { return log_; }
    ReplyTimer& replies() { return timer_; }
    // The session log takes entries while on (the default).
    void setLogging(bool on) { logging_ = on; }
    bool logging() const { return logging_; }

    // Listeners get every reply from now until they are taken away.
    void listen(ReplyListener* listener);
    void forget(ReplyListener* listener);

    // After each frame and reply: the log and the reply timer have changed.
    std::function<void()> onchange;

    bool portopen() const { return state_.portopen != 0; }

    // BenchPort: ComWrite without a pause. False, with nothing sent and the window untouched,
    // when no port is open; false after a failed write (reported, the port closed).
    bool send(const std::string& frame) override;

    // LinkWatcher.
    void sent(const std::string& frame) override;
    void replied(std::string_view reply, std::string_view lines) override;

private:
    AdapterLink& link_;
    ConsoleState& state_;
    LogBook log_;
    ReplyTimer timer_;
    bool logging_ = true;
    std::vector<ReplyListener*> listeners_;
};

}  // namespace sarnel::bench
