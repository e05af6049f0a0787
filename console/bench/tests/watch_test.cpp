// Watching a value: the values out of each answer, their figures, pause and resume, a time-out,
// an answer without the chosen bytes, and the stop when a frame cannot be sent.
#include "console/bench/watch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sarnel::bench {
namespace {

using std::chrono::milliseconds;

struct FakePort final : BenchPort {
    bool send(const std::string& frame) override {
        sent.push_back(frame);
        return works;
    }
    std::vector<std::string> sent;
    bool works = true;
};

const Clock::time_point t0 = Clock::now();

// An LM75 temperature read's answer: two bytes read, MSB first.
std::string lm75(int msb, int lsb) {
    char text[64];
    std::snprintf(text, sizeof text, "0010sW90aW00asW91aR%02Xa R%02Xnp", msb, lsb);
    return text;
}

WatchSettings lm75settings() {
    WatchSettings s;
    s.frame = "$00100E00019001000000019102030004\r";
    s.interval = milliseconds(100);
    s.timeout = milliseconds(500);
    s.pick = {0, 2, true, true, 1.0 / 256};
    return s;
}

TEST(Watch, PlotsEachAnswerAndKeepsItsFigures) {
    FakePort port;
    Watch watch(lm75settings(), port);
    std::vector<WatchPoint> seen;
    watch.onpoint = [&](const WatchPoint& p) { seen.push_back(p); };
    watch.start(t0);
    watch.poll(t0);
    ASSERT_EQ(port.sent.size(), 1u);
    watch.replied("001A10", t0 + milliseconds(2));  // a reset report answers nothing
    watch.replied(lm75(0x19, 0x80), t0 + milliseconds(5));
    watch.poll(t0 + milliseconds(50));
    EXPECT_EQ(port.sent.size(), 1u);  // the interval is not over
    watch.poll(t0 + milliseconds(100));
    ASSERT_EQ(port.sent.size(), 2u);
    watch.replied(lm75(0xFF, 0x80), t0 + milliseconds(105));  // -0.5
    watch.poll(t0 + milliseconds(200));
    watch.replied(lm75(0x1E, 0x00), t0 + milliseconds(205));  // 30
    ASSERT_EQ(watch.points().size(), 3u);
    EXPECT_DOUBLE_EQ(watch.points()[0].value, 25.5);
    EXPECT_DOUBLE_EQ(watch.points()[1].value, -0.5);
    EXPECT_DOUBLE_EQ(watch.points()[2].value, 30.0);
    EXPECT_NEAR(watch.points()[1].seconds, 0.105, 1e-9);
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_DOUBLE_EQ(*watch.min(), -0.5);
    EXPECT_DOUBLE_EQ(*watch.max(), 30.0);
    EXPECT_DOUBLE_EQ(*watch.last(), 30.0);
    EXPECT_EQ(watch.csv(), "seconds,value\n0.005,25.5\n0.105,-0.5\n0.205,30\n");
}

TEST(Watch, PausesResumesAndCountsWhatWentWrong) {
    FakePort port;
    Watch watch(lm75settings(), port);
    watch.start(t0);
    watch.poll(t0);
    watch.pause();
    EXPECT_TRUE(watch.paused());
    EXPECT_FALSE(watch.running());
    // The answer to the frame before the pause is not counted, and nothing goes out.
    watch.replied(lm75(0x19, 0x00), t0 + milliseconds(5));
    watch.poll(t0 + milliseconds(1000));
    EXPECT_TRUE(watch.points().empty());
    EXPECT_EQ(port.sent.size(), 1u);

    watch.resume(t0 + milliseconds(2000));
    watch.poll(t0 + milliseconds(2000));
    ASSERT_EQ(port.sent.size(), 2u);
    // Time runs on from the first start.
    watch.replied(lm75(0x19, 0x00), t0 + milliseconds(2010));
    ASSERT_EQ(watch.points().size(), 1u);
    EXPECT_NEAR(watch.points()[0].seconds, 2.010, 1e-9);
    EXPECT_EQ(watch.runs(), 2u);

    // No answer within the time-out: counted and said; the next run goes out.
    watch.poll(t0 + milliseconds(2100));
    watch.poll(t0 + milliseconds(2600));
    EXPECT_EQ(watch.timeouts(), 1u);
    EXPECT_EQ(watch.message(), "No answer within 500 ms");
    EXPECT_EQ(port.sent.size(), 4u);
    // A device that did not acknowledge reads nothing: no value, a message.
    watch.replied("0010sW90n", t0 + milliseconds(2605));
    EXPECT_EQ(watch.unreadable(), 1u);
    EXPECT_EQ(watch.points().size(), 1u);
    EXPECT_NE(watch.message().find("no byte 1 and 2"), std::string::npos) << watch.message();
}

TEST(Watch, StopsWithAMessageWhenAFrameCannotBeSent) {
    FakePort port;
    Watch watch(lm75settings(), port);
    int stops = 0;
    watch.onstopped = [&] { ++stops; };
    watch.start(t0);
    watch.poll(t0);
    watch.replied(lm75(0x19, 0x00), t0 + milliseconds(5));
    port.works = false;  // the adapter was unplugged
    watch.poll(t0 + milliseconds(100));
    EXPECT_TRUE(watch.stopped());
    EXPECT_FALSE(watch.running());
    EXPECT_EQ(stops, 1);
    EXPECT_NE(watch.message().find("could not be sent"), std::string::npos) << watch.message();
    // What it had is kept; it neither resumes nor starts again.
    EXPECT_EQ(watch.points().size(), 1u);
    port.works = true;
    watch.resume(t0 + milliseconds(300));
    watch.start(t0 + milliseconds(300));
    watch.poll(t0 + milliseconds(300));
    EXPECT_EQ(port.sent.size(), 2u);
    EXPECT_EQ(watch.wakeup(), Clock::time_point::max());
}

TEST(Watch, ParsesScalesAsUsersWriteThem) {
    std::string why;
    EXPECT_DOUBLE_EQ(*parsescale("1/256", why), 1.0 / 256);
    EXPECT_DOUBLE_EQ(*parsescale(" 0.0625 ", why), 0.0625);
    EXPECT_DOUBLE_EQ(*parsescale("-1.5e-3", why), -0.0015);
    EXPECT_DOUBLE_EQ(*parsescale("+2", why), 2.0);
    for (const char* bad : {"", "0", "1/0", "0/5", "x", "1/", "/2", "1e999", "nan", "1/2/3", "0x10"}) {
        EXPECT_FALSE(parsescale(bad, why)) << bad;
        EXPECT_NE(why.find(std::string("not '") + bad + "'"), std::string::npos) << why;
    }
}

}  // namespace
}  // namespace sarnel::bench
