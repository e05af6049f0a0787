// How the bench tools talk to the adapter: an Exchange sends frames through a BenchPort (the
// console's write path on the open port) and is handed every reply the receive path decodes
// (BusActivity::replied). It never blocks and never waits: its owner passes the replies in,
// wakes it at wakeup() and calls poll(), which is where it sends. So the windows drive it from
// their event loop and sarnel-cli from a blocking loop (runexchange) over the same code.
//
// replied() is called from inside the decoder, while it works on the receive buffer; an
// exchange only takes note there and sends from poll(). Everything runs on the window's thread.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace sarnel::bench {

using Clock = std::chrono::steady_clock;

// The reply code of a reply text (its characters 3 and 4), "" when it is shorter.
inline std::string_view replycode(std::string_view reply) {
    return reply.size() >= 4 ? reply.substr(2, 2) : std::string_view{};
}

// The open port as the bench tools use it.
class BenchPort {
public:
    virtual ~BenchPort() = default;
    // Sends `frame` through the console's write path (ComWrite) without a pause. False when it
    // was not sent: no port is open, or the write failed (the write path has reported it and
    // closed the port).
    virtual bool send(const std::string& frame) = 0;
};

class Exchange {
public:
    virtual ~Exchange() = default;
    // Begins: the first frame goes out at the first poll().
    virtual void start(Clock::time_point now) = 0;
    // A reply the receive path has decoded (its text without "!" and CR), and when.
    virtual void replied(std::string_view reply, Clock::time_point now) = 0;
    // Sends what is due and notices time-outs.
    virtual void poll(Clock::time_point now) = 0;
    // When poll() has something to do next: at once after a reply that lets a frame go, else
    // the time-out of the answer waited for, or the next run's start.
    virtual Clock::time_point wakeup() const = 0;
    virtual bool running() const = 0;
};

// Drives `exchange` to its end on the calling thread: starts it, then lets events run in the
// current pump until its wakeup, polls it, and again, until it stops running or `stop` says
// so (checked after every wait; it may be empty).
void runexchange(Exchange& exchange, const std::function<bool()>& stop);

}  // namespace sarnel::bench
