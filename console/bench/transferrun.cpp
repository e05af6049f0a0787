#include "console/bench/transferrun.h"

namespace sarnel::bench {

TransferRun::TransferRun(Transfer& transfer, BenchPort& port, std::chrono::milliseconds timeout)
    : transfer_(transfer), port_(port), timeout_(timeout) {}

void TransferRun::start(Clock::time_point) {
    outcome_ = Outcome::Running;
    waiting_ = false;
    due_ = true;
}

void TransferRun::replied(std::string_view reply, Clock::time_point) {
    if (!waiting_ || sending_ || replycode(reply) != kScriptReplyCode) return;
    waiting_ = false;
    transfer_.answer(reply);
    due_ = true;
}

void TransferRun::poll(Clock::time_point now) {
    if (outcome_ != Outcome::Running) return;
    if (waiting_) {
        if (now >= deadline_) {
            waiting_ = false;
            outcome_ = Outcome::NoReply;
        }
        return;
    }
    if (!due_) return;
    due_ = false;
    const std::string frame = transfer_.nextframe();
    if (frame.empty()) {
        outcome_ = Outcome::Done;
        return;
    }
    waiting_ = true;
    deadline_ = now + timeout_;
    sending_ = true;
    const bool sent = port_.send(frame);
    sending_ = false;
    if (!sent) {
        waiting_ = false;
        outcome_ = Outcome::NotSent;
    }
}

Clock::time_point TransferRun::wakeup() const {
    return waiting_ ? deadline_ : Clock::time_point::min();
}

}  // namespace sarnel::bench
