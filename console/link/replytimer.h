// The status bar's view of the link: how long the last frame took to be answered, and
// whether one went unanswered. A frame's answer is the first reply decoded after it was
// written; one that has none within half a second is marked "No reply" until a reply comes
// or another frame goes out. The window calls poll() at wakeup() from its event loop.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace sarnel {

class ReplyTimer {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kNoReplyAfter{500};

    void sent(Clock::time_point now);
    void replied(Clock::time_point now);
    // Marks the frame waited for as unanswered once its half second is over. True when that
    // changed what the texts say.
    bool poll(Clock::time_point now);
    // When poll() has something to do: the end of the half second of the frame waited for.
    std::optional<Clock::time_point> wakeup() const;

    bool noReply() const { return noReply_; }
    std::optional<Clock::duration> lastRoundTrip() const { return roundtrip_; }
    // "Round trip 5.31 ms", or "" before the first answer.
    std::string roundTripText() const;
    // "No reply" while the last frame is unanswered past its half second, else "".
    std::string replyText() const { return noReply_ ? "No reply" : ""; }

private:
    bool waiting_ = false;
    bool noReply_ = false;
    Clock::time_point sentAt_{};
    std::optional<Clock::duration> roundtrip_;
};

}  // namespace sarnel
