// Drives a Transfer (bus scan, register access) over a port: each frame goes out once the
// answer to the one before has come; an answer that does not come within the time-out ends
// the run.
#pragma once

#include <chrono>
#include <string>

#include "console/bench/exchange.h"
#include "console/bench/transfer.h"

namespace sarnel::bench {

class TransferRun final : public Exchange {
public:
    enum class Outcome {
        Running,
        Done,     // every frame answered; the transfer may still have failed (its error())
        NoReply,  // an answer did not come within the time-out
        NotSent,  // a frame could not be sent (no open port, a failed write)
    };

    // Both outlive the run.
    TransferRun(Transfer& transfer, BenchPort& port, std::chrono::milliseconds timeout);

    void start(Clock::time_point now) override;
    void replied(std::string_view reply, Clock::time_point now) override;
    void poll(Clock::time_point now) override;
    Clock::time_point wakeup() const override;
    bool running() const override { return outcome_ == Outcome::Running; }

    Outcome outcome() const { return outcome_; }

private:
    Transfer& transfer_;
    BenchPort& port_;
    std::chrono::milliseconds timeout_;
    Outcome outcome_ = Outcome::Done;
    bool sending_ = false;  // inside port.send: replies now answer an earlier frame
    bool waiting_ = false;  // a frame is out and its answer has not come
    bool due_ = false;      // the next frame may go
    Clock::time_point deadline_{};
};

}  // namespace sarnel::bench
