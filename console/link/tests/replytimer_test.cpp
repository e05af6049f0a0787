// The status bar's reply timer: round trips, "No reply" after half a second, a late answer.
#include "console/link/replytimer.h"

#include <gtest/gtest.h>

namespace sarnel {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

TEST(ReplyTimer, TimesAnswersAndMarksAFrameWithoutOne) {
    ReplyTimer t;
    const auto t0 = ReplyTimer::Clock::now();
    EXPECT_EQ(t.roundTripText(), "");
    EXPECT_FALSE(t.wakeup());
    t.replied(t0);  // a reply nothing was sent for (an interrupt report) times nothing
    EXPECT_FALSE(t.lastRoundTrip());

    t.sent(t0);
    EXPECT_EQ(t.wakeup(), t0 + milliseconds(500));
    EXPECT_FALSE(t.poll(t0 + milliseconds(499)));
    t.replied(t0 + microseconds(5310));
    EXPECT_EQ(t.roundTripText(), "Round trip 5.31 ms");
    EXPECT_FALSE(t.wakeup());
    // Only the first reply after a frame answers it.
    t.replied(t0 + milliseconds(40));
    EXPECT_EQ(t.roundTripText(), "Round trip 5.31 ms");

    t.sent(t0 + milliseconds(100));
    EXPECT_FALSE(t.poll(t0 + milliseconds(599)));
    EXPECT_EQ(t.replyText(), "");
    EXPECT_TRUE(t.poll(t0 + milliseconds(600)));
    EXPECT_EQ(t.replyText(), "No reply");
    EXPECT_FALSE(t.poll(t0 + milliseconds(700)));  // said once
    EXPECT_FALSE(t.wakeup());
    // A late answer still times its frame and clears the mark.
    t.replied(t0 + milliseconds(1100));
    EXPECT_EQ(t.replyText(), "");
    EXPECT_EQ(t.roundTripText(), "Round trip 1000.00 ms");

    // A new frame clears the mark of the one before.
    t.sent(t0 + milliseconds(2000));
    t.poll(t0 + milliseconds(2600));
    EXPECT_TRUE(t.noReply());
    t.sent(t0 + milliseconds(2700));
    EXPECT_FALSE(t.noReply());
}

}  // namespace
}  // namespace sarnel
