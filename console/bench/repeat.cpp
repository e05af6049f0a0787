#include "console/bench/repeat.h"

#include <cstdio>

#include "console/bench/transfer.h"

namespace sarnel::bench {

using std::chrono::microseconds;

void RoundTrips::add(Clock::duration roundtrip) {
    const auto us = std::chrono::round<microseconds>(roundtrip).count();
    ++micros_[us < 0 ? 0 : us];
    ++count_;
}

microseconds RoundTrips::min() const {
    return micros_.empty() ? microseconds(0) : microseconds(micros_.begin()->first);
}

microseconds RoundTrips::max() const {
    return micros_.empty() ? microseconds(0) : microseconds(micros_.rbegin()->first);
}

microseconds RoundTrips::median() const {
    if (count_ == 0) return microseconds(0);
    // The values at the middle positions (from 1): (n + 1) / 2 and, for even n, the one after.
    const std::uint64_t low = (count_ + 1) / 2;
    const std::uint64_t high = count_ / 2 + 1;
    std::int64_t lowValue = 0;
    std::uint64_t seen = 0;
    for (const auto& [us, n] : micros_) {
        if (seen < low && seen + n >= low) lowValue = us;
        if (seen + n >= high) return microseconds((lowValue + us) / 2);
        seen += n;
    }
    return microseconds(lowValue);
}

std::string summarytext(const RepeatSummary& s) {
    auto ms = [](microseconds us) { return static_cast<double>(us.count()) / 1000.0; };
    const double seconds = std::chrono::duration<double>(s.elapsed).count();
    char text[320];
    std::snprintf(text, sizeof text, "runs %llu, replies %llu, time-outs %llu",
                  static_cast<unsigned long long>(s.runs), static_cast<unsigned long long>(s.replies),
                  static_cast<unsigned long long>(s.timeouts));
    std::string line = text;
    if (s.roundtrips.count() > 0) {
        std::snprintf(text, sizeof text, "; round trip min %.3f ms, median %.3f ms, max %.3f ms",
                      ms(s.roundtrips.min()), ms(s.roundtrips.median()), ms(s.roundtrips.max()));
        line += text;
    }
    if (seconds > 0) {
        std::snprintf(text, sizeof text, "; %.2f s, %.1f runs a second", seconds,
                      static_cast<double>(s.runs) / seconds);
        line += text;
    }
    return line;
}

RepeatRun::RepeatRun(std::string frame, RepeatSettings settings, BenchPort& port)
    : frame_(std::move(frame)), settings_(settings), port_(port) {}

void RepeatRun::start(Clock::time_point now) {
    outcome_ = Outcome::Running;
    summary_ = RepeatSummary{};
    started_ = now;
    nextRun_ = now;
    waiting_ = false;
}

void RepeatRun::replied(std::string_view reply, Clock::time_point now) {
    if (!waiting_ || sending_ || replycode(reply) != kScriptReplyCode) return;
    waiting_ = false;
    ++summary_.replies;
    const Clock::duration roundtrip = now - sentAt_;
    summary_.roundtrips.add(roundtrip);
    summary_.elapsed = now - started_;
    if (onanswer) onanswer(reply, roundtrip);
}

void RepeatRun::poll(Clock::time_point now) {
    if (outcome_ != Outcome::Running) return;
    if (waiting_) {
        if (now < deadline_) return;
        waiting_ = false;
        ++summary_.timeouts;
        summary_.elapsed = now - started_;
        if (ontimeout) ontimeout();
    }
    if (settings_.count != 0 && summary_.runs >= settings_.count) {
        outcome_ = Outcome::Done;
        return;
    }
    if (now < nextRun_) return;
    ++summary_.runs;
    sentAt_ = now;
    nextRun_ = now + settings_.interval;
    deadline_ = now + settings_.timeout;
    waiting_ = true;
    sending_ = true;
    const bool sent = port_.send(frame_);
    sending_ = false;
    if (!sent) {
        waiting_ = false;
        outcome_ = Outcome::NotSent;
    }
}

Clock::time_point RepeatRun::wakeup() const {
    if (waiting_) return deadline_;
    // The last run answered: nothing is left to wait for.
    if (settings_.count != 0 && summary_.runs >= settings_.count) return Clock::time_point::min();
    return nextRun_;
}

}  // namespace sarnel::bench
