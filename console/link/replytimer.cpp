#include "console/link/replytimer.h"

#include <cstdio>

namespace sarnel {

void ReplyTimer::sent(Clock::time_point now) {
    waiting_ = true;
    noReply_ = false;
    sentAt_ = now;
}

void ReplyTimer::replied(Clock::time_point now) {
    // A reply after the half second still answers the frame: late, but its time is real.
    if (waiting_) roundtrip_ = now - sentAt_;
    waiting_ = false;
    noReply_ = false;
}

bool ReplyTimer::poll(Clock::time_point now) {
    if (!waiting_ || noReply_ || now - sentAt_ < kNoReplyAfter) return false;
    noReply_ = true;
    return true;
}

std::optional<ReplyTimer::Clock::time_point> ReplyTimer::wakeup() const {
    if (!waiting_ || noReply_) return std::nullopt;
    return sentAt_ + kNoReplyAfter;
}

std::string ReplyTimer::roundTripText() const {
    if (!roundtrip_) return {};
    const double ms = std::chrono::duration<double, std::milli>(*roundtrip_).count();
    char text[48];
    std::snprintf(text, sizeof text, "Round trip %.2f ms", ms);
    return text;
}

}  // namespace sarnel
