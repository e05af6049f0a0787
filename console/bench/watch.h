// Watching a value over time: one script frame repeated at an interval (RepeatRun), each
// answer's read bytes made into a value (pickvalue), the values kept with their times, their
// minimum, maximum and last. A watch pauses and resumes, and stops for good, with a message,
// when a frame cannot be sent (the port was closed, the adapter unplugged). It is an Exchange,
// driven like any other (exchange.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/bench/repeat.h"
#include "console/bench/valuepick.h"

namespace sarnel::bench {

struct WatchSettings {
    std::string frame;                        // a script frame ending in CR
    std::chrono::milliseconds interval{100};  // from one run's start to the next
    std::chrono::milliseconds timeout{1000};  // for each answer
    ValuePick pick;
};

struct WatchPoint {
    double seconds = 0;  // since the watch started
    double value = 0;
};

class Watch final : public Exchange {
public:
    // The port outlives the watch.
    Watch(WatchSettings settings, BenchPort& port);

    // Each new value, and the stop (message() says why). They run inside replied() and
    // poll(), and must not send.
    std::function<void(const WatchPoint&)> onpoint;
    std::function<void()> onstopped;

    // Exchange: start() begins (or begins again: the values are kept, time runs on).
    void start(Clock::time_point now) override;
    void replied(std::string_view reply, Clock::time_point now) override;
    void poll(Clock::time_point now) override;
    Clock::time_point wakeup() const override;
    bool running() const override { return run_ != nullptr; }

    // Pause stops the repeat (an answer still on its way is not counted); resume starts it
    // again. Neither does anything once the watch has stopped.
    void pause();
    void resume(Clock::time_point now);
    bool paused() const { return paused_; }
    // Ends the watch with `message`.
    void stop(std::string message);
    bool stopped() const { return stopped_; }

    const WatchSettings& settings() const { return settings_; }
    const std::vector<WatchPoint>& points() const { return points_; }
    std::optional<double> min() const;
    std::optional<double> max() const;
    std::optional<double> last() const;
    // Runs, answers, time-outs and answers without the chosen bytes.
    std::uint64_t runs() const { return runs_; }
    std::uint64_t timeouts() const { return timeouts_; }
    std::uint64_t unreadable() const { return unreadable_; }
    // Why it stopped, or what was wrong with the last answer; "" when all is well.
    const std::string& message() const { return message_; }

    // The values as CSV: "seconds,value", one row each, lines ending in LF.
    std::string csv() const;

private:
    void answer(std::string_view reply, Clock::time_point now);

    WatchSettings settings_;
    BenchPort& port_;
    std::unique_ptr<RepeatRun> run_;
    bool started_ = false;
    bool paused_ = false;
    bool stopped_ = false;
    Clock::time_point origin_{};
    std::vector<WatchPoint> points_;
    double min_ = 0, max_ = 0;
    std::uint64_t runs_ = 0, timeouts_ = 0, unreadable_ = 0, runsBefore_ = 0;
    std::string message_;
};

// A scale as a user writes it: a number ("0.0625", "2", "-1.5e-3") or a fraction ("1/256").
// nullopt, with `why`, for anything else, zero or not finite.
std::optional<double> parsescale(std::string_view text, std::string& why);

}  // namespace sarnel::bench
