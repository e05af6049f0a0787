// Driving requests and repeats step by step, as a window does: a fake port that keeps what it
// is sent and the test's own clock.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "console/bench/registers.h"
#include "console/bench/repeat.h"
#include "console/bench/transferrun.h"

namespace sarnel::bench {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

struct FakePort final : BenchPort {
    bool send(const std::string& frame) override {
        sent.push_back(frame);
        if (during) during();
        return works;
    }
    std::vector<std::string> sent;
    bool works = true;
    std::function<void()> during;  // what happens while the write path runs
};

const Clock::time_point t0 = Clock::now();

TEST(TransferRun, SendsEachFrameAfterTheAnswerToTheOneBefore) {
    FakePort port;
    RegisterRead read({0x50, 0x00, false}, 200);  // two frames
    TransferRun run(read, port, milliseconds(100));
    run.start(t0);
    EXPECT_EQ(run.wakeup(), Clock::time_point::min());  // the first frame is due at once
    run.poll(t0);
    ASSERT_EQ(port.sent.size(), 1u);
    EXPECT_EQ(run.wakeup(), t0 + milliseconds(100));
    // Other replies (a reset report, an interrupt report) are not the answer.
    run.replied("001A10", t0 + milliseconds(1));
    run.replied("00206", t0 + milliseconds(1));
    run.poll(t0 + milliseconds(2));
    EXPECT_EQ(port.sent.size(), 1u);
    std::string first = "0010sWA0aW00asWA1a";
    for (int i = 0; i < 116; ++i) first += "R00a";
    run.replied(first, t0 + milliseconds(5));
    EXPECT_EQ(port.sent.size(), 1u);  // nothing is sent from inside the decoder
    EXPECT_EQ(run.wakeup(), Clock::time_point::min());
    run.poll(t0 + milliseconds(5));
    ASSERT_EQ(port.sent.size(), 2u);
    std::string second = "0010";
    for (int i = 0; i < 83; ++i) second += "R01a";
    second += "R02np";
    run.replied(second, t0 + milliseconds(9));
    run.poll(t0 + milliseconds(9));
    EXPECT_FALSE(run.running());
    EXPECT_EQ(run.outcome(), TransferRun::Outcome::Done);
    EXPECT_EQ(read.error(), "");
    EXPECT_EQ(read.data().size(), 200u);
    EXPECT_EQ(read.data().back(), 0x02);
}

TEST(TransferRun, NoAnswerInTimeAndAFailedSend) {
    FakePort port;
    RegisterRead read({0x48, 0x00, false}, 2);
    TransferRun run(read, port, milliseconds(100));
    run.start(t0);
    run.poll(t0);
    run.poll(t0 + milliseconds(99));
    EXPECT_TRUE(run.running());
    run.poll(t0 + milliseconds(100));
    EXPECT_EQ(run.outcome(), TransferRun::Outcome::NoReply);
    run.replied("0010sW90aW00asW91aR19aR80np", t0 + milliseconds(101));  // too late
    EXPECT_TRUE(read.data().empty());

    FakePort closed;
    closed.works = false;
    RegisterRead again({0x48, 0x00, false}, 2);
    TransferRun failed(again, closed, milliseconds(100));
    failed.start(t0);
    failed.poll(t0);
    EXPECT_EQ(failed.outcome(), TransferRun::Outcome::NotSent);
}

TEST(TransferRun, AReplyDecodedWhileTheFrameIsBeingSentAnswersAnEarlierOne) {
    FakePort port;
    RegisterRead read({0x48, 0x00, false}, 2);
    TransferRun run(read, port, milliseconds(100));
    port.during = [&] { run.replied("0010sW90aW00asW91aRAAaRBBnp", t0); };  // a stale reply
    run.start(t0);
    run.poll(t0);
    EXPECT_TRUE(run.running());
    run.replied("0010sW90aW00asW91aR19aR80np", t0 + milliseconds(5));
    run.poll(t0 + milliseconds(5));
    EXPECT_EQ(read.data(), (std::vector<std::uint8_t>{0x19, 0x80}));
}

TEST(RepeatRun, RunsTheCountAtMostOncePerInterval) {
    FakePort port;
    RepeatRun repeat("$00100204\r", {3, milliseconds(50), milliseconds(20)}, port);
    std::vector<Clock::duration> answers;
    repeat.onanswer = [&](std::string_view, Clock::duration rtt) { answers.push_back(rtt); };
    int timeouts = 0;
    repeat.ontimeout = [&] { ++timeouts; };
    repeat.start(t0);
    repeat.poll(t0);
    ASSERT_EQ(port.sent.size(), 1u);
    repeat.replied("0010p", t0 + milliseconds(5));
    repeat.poll(t0 + milliseconds(5));
    EXPECT_EQ(port.sent.size(), 1u);  // the interval is not over
    EXPECT_EQ(repeat.wakeup(), t0 + milliseconds(50));
    repeat.poll(t0 + milliseconds(50));
    ASSERT_EQ(port.sent.size(), 2u);
    repeat.poll(t0 + milliseconds(70));  // no answer: a time-out, and the next run is not due
    EXPECT_EQ(timeouts, 1);
    EXPECT_EQ(port.sent.size(), 2u);
    repeat.poll(t0 + milliseconds(100));
    ASSERT_EQ(port.sent.size(), 3u);
    repeat.replied("0010p", t0 + milliseconds(107));
    EXPECT_EQ(repeat.wakeup(), Clock::time_point::min());  // done: no waiting for the interval
    repeat.poll(t0 + milliseconds(107));
    EXPECT_EQ(repeat.outcome(), RepeatRun::Outcome::Done);
    EXPECT_EQ(answers, (std::vector<Clock::duration>{milliseconds(5), milliseconds(7)}));
    const RepeatSummary& s = repeat.summary();
    EXPECT_EQ(s.runs, 3u);
    EXPECT_EQ(s.replies, 2u);
    EXPECT_EQ(s.timeouts, 1u);
    EXPECT_EQ(s.roundtrips.median(), microseconds(6000));
    EXPECT_EQ(s.elapsed, milliseconds(107));
}

TEST(RepeatRun, EndlessUntilStoppedAndEndedByAPortThatCloses) {
    FakePort port;
    RepeatRun repeat("$00100204\r", {0, milliseconds(0), milliseconds(20)}, port);
    repeat.start(t0);
    Clock::time_point now = t0;
    for (int i = 0; i < 1000; ++i) {
        repeat.poll(now);
        now += microseconds(5200);
        repeat.replied("0010p", now);
    }
    EXPECT_TRUE(repeat.running());
    EXPECT_EQ(repeat.summary().replies, 1000u);
    port.works = false;
    repeat.poll(now);
    EXPECT_EQ(repeat.outcome(), RepeatRun::Outcome::NotSent);
    EXPECT_EQ(repeat.summary().runs, 1001u);
}

TEST(RoundTrips, MinimumMedianAndMaximum) {
    RoundTrips r;
    EXPECT_EQ(r.median(), microseconds(0));
    for (int us : {900, 100, 500, 500, 300}) r.add(microseconds(us));
    EXPECT_EQ(r.min(), microseconds(100));
    EXPECT_EQ(r.median(), microseconds(500));
    EXPECT_EQ(r.max(), microseconds(900));
    r.add(microseconds(1000));  // even: the mean of 500 and 500
    EXPECT_EQ(r.median(), microseconds(500));
    r.add(microseconds(1000));
    r.add(microseconds(1000));  // 100 300 500 500 900 1000 1000 1000: (500 + 900) / 2
    EXPECT_EQ(r.median(), microseconds(700));
    EXPECT_EQ(r.count(), 8u);
}

TEST(RepeatSummary, OneLine) {
    RepeatSummary s;
    s.runs = 1000;
    s.replies = 999;
    s.timeouts = 1;
    s.roundtrips.add(microseconds(5301));
    s.roundtrips.add(microseconds(6020));
    s.elapsed = milliseconds(5410);
    EXPECT_EQ(summarytext(s),
              "runs 1000, replies 999, time-outs 1; round trip min 5.301 ms, median 5.660 ms, max 6.020 ms; "
              "5.41 s, 184.8 runs a second");
    EXPECT_EQ(summarytext(RepeatSummary{}), "runs 0, replies 0, time-outs 0");
}

}  // namespace
}  // namespace sarnel::bench
