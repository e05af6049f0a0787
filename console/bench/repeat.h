// Repeating a script: one frame sent again and again, at most one run per interval, each
// waiting for its answer up to a time-out, with the round trips counted for a summary. What
// `sarnel-cli run --repeat` does, and what a window that watches a value over time runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "console/bench/exchange.h"

namespace sarnel::bench {

struct RepeatSettings {
    std::uint64_t count = 1;                  // runs; 0 runs until stopped
    std::chrono::milliseconds interval{0};    // from one run's start to the next one's, at least
    std::chrono::milliseconds timeout{1000};  // for each run's answer
};

// Round trips, from handing a frame to the write path to its answer decoded: the minimum,
// median and maximum, to the microsecond. Memory grows with the distinct values, not with
// the count, so an endless repeat can keep them.
class RoundTrips {
public:
    void add(Clock::duration roundtrip);
    std::uint64_t count() const { return count_; }
    // 0 while there is none. The median of an even count is the mean of the middle two.
    std::chrono::microseconds min() const;
    std::chrono::microseconds median() const;
    std::chrono::microseconds max() const;

private:
    std::map<std::int64_t, std::uint64_t> micros_;  // round trip in microseconds: how often
    std::uint64_t count_ = 0;
};

struct RepeatSummary {
    std::uint64_t runs = 0;      // frames sent
    std::uint64_t replies = 0;   // runs answered
    std::uint64_t timeouts = 0;  // runs not answered within the time-out
    RoundTrips roundtrips;
    Clock::duration elapsed{};  // from the start to the last answer or time-out
};

// The summary as one line: "runs 1000, replies 1000, time-outs 0; round trip min 5.301 ms,
// median 5.322 ms, max 6.020 ms; 5.41 s, 184.8 runs a second".
std::string summarytext(const RepeatSummary& summary);

class RepeatRun final : public Exchange {
public:
    enum class Outcome {
        Running,
        Done,     // the count of runs is complete
        NotSent,  // a frame could not be sent (no open port, a failed write)
    };

    // `frame`: a script frame ending in CR. The port outlives the run.
    RepeatRun(std::string frame, RepeatSettings settings, BenchPort& port);

    // Called with each run's answer and its round trip, and for each run that timed out. They
    // run inside replied() and poll(), and must not send.
    std::function<void(std::string_view reply, Clock::duration roundtrip)> onanswer;
    std::function<void()> ontimeout;

    void start(Clock::time_point now) override;
    void replied(std::string_view reply, Clock::time_point now) override;
    void poll(Clock::time_point now) override;
    Clock::time_point wakeup() const override;
    bool running() const override { return outcome_ == Outcome::Running; }

    Outcome outcome() const { return outcome_; }
    const RepeatSummary& summary() const { return summary_; }

private:
    std::string frame_;
    RepeatSettings settings_;
    BenchPort& port_;
    Outcome outcome_ = Outcome::Done;
    RepeatSummary summary_;
    Clock::time_point started_{};
    Clock::time_point sentAt_{};
    Clock::time_point nextRun_{};
    Clock::time_point deadline_{};
    bool waiting_ = false;
    bool sending_ = false;
};

}  // namespace sarnel::bench
