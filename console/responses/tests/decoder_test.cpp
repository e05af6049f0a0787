#include "console/responses/decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/base/tests/alertrecorder.h"

namespace sarnel {
namespace {

struct Decoded {
    std::string text;  // the bus activity list
    std::string rxd;
    std::string rest;  // what the receive buffer keeps
};

Decoded decode(std::string buffer, bool continuous = false, std::string before = "") {
    ActivityText a;
    a.text = std::move(before);
    a.continuous = continuous;
    process(kProcessAll, "", a, buffer);
    return {a.text, a.rxd, buffer};
}

struct ReplyCase {
    const char* name;
    std::string buffer;
    std::string text;
};

TEST(DecoderTest, ReplyCodes) {
    const std::vector<ReplyCase> cases = {
        {"script results", "!0010sW90aW00ap\r", "START\r\nWRITE\t0x90\tAck\r\nWRITE\t0x00\tAck\r\nSTOP\r\n"},
        {"identification, USB", "!000002260005\r",
         "[Firmware Version:]\r\n[0226.00.05       ]\r\n[6354 USB Master  ]\r\n\r\n"},
        {"identification, RS-232", "!000001530102\r",
         "[Firmware Version:]\r\n[0153.01.02       ]\r\n[6208 RS232 Master]\r\n\r\n"},
        {"identification, unknown", "!000009990102\r",
         "[Firmware Version:]\r\n[0999.01.02       ]\r\n[Unrecognized H/W ]\r\n\r\n"},
        {"identification, short", "!0000\r",
         "[Firmware Version:]\r\n[..       ]\r\n[Unrecognized H/W ]\r\n\r\n"},
        {"store, empty", "!0011e\r", "[No command to store]\r\n"},
        {"store, empty upper", "!0011E\r", "[No command to store]\r\n"},
        {"store, done", "!0011s\r", "[Store last success!]\r\n"},
        {"store, no letter", "!0011\r", "[Store last success!]\r\n"},
        {"replay, empty", "!0012e\r", "[Replay Memory Empty]\r\n"},
        {"replay, done", "!0012x\r", "[Replay Successful  ]\r\n"},
        {"edges and speeds", "!0013\r!0014\r!0015\r!0016\r!0017\r!0018\r",
         "[Edge = High-to-Low ]\r\n[Edge = Low-to-High ]\r\n[Edge trigger = On  ]\r\n[Edge trigger = Off "
         "]\r\n"
         "[Speed set Slow=100k]\r\n[Speed set Fast=400k]\r\n"},
        {"status", "!00193300101\r",
         "[VSlave:  3.300v  ]\r\n[Speed:   Fast    ]\r\n[OnEdge:  Off     ]\r\n[Edge:    Lo-to-Hi]\r\n"},
        {"status, other flags", "!00190050010\r",
         "[VSlave:  0.050v  ]\r\n[Speed:   Slow    ]\r\n[OnEdge:  On      ]\r\n[Edge:    Hi-to-Lo]\r\n"},
        {"status, unreadable volts", "!0019x 7a999\r",
         "[VSlave:  0.007v  ]\r\n[Speed:   Fast    ]\r\n[OnEdge:  On      ]\r\n[Edge:    Lo-to-Hi]\r\n"},
        {"reset, power up", "!001A08\r", "[Reset:   Power up]\r\n\r\n"},
        {"reset, watchdog", "!001A10\r", "[Reset:   WDT Rset]\r\n\r\n"},
        {"reset, lower case", "!001a08\r", ""},
        {"interrupt", "!0020x1\r", "[Int]\t1\r\n"},
        {"interrupt, short", "!0020\r", "[Int]\t\r\n"},
        {"unknown codes", "!0006x\r!0007\r!00\r", ""},
    };
    for (const ReplyCase& c : cases) {
        AlertRecorder alerts;
        EXPECT_EQ(decode(c.buffer).text, c.text) << c.name;
        EXPECT_TRUE(alerts.alerts.empty()) << c.name;
    }
}

TEST(DecoderTest, ResultItems) {
    const std::vector<ReplyCase> cases = {
        {"bad token", "?76", "BadToken:\t0x76\r\n"},
        {"speeds", "01", "[Speed=SLOW]\r\n[Speed=FAST]\r\n"},
        {"pins", "20213031404150516061",
         "GP0\tLow\r\nGP0\tHigh\r\nGP1\tLow\r\nGP1\tHigh\r\nGP2\tLow\r\nGP2\tHigh\r\nGP3\tLow\r\nGP3\tHigh\r"
         "\n"
         "Int\tLow\r\nInt\tHigh\r\n"},
        {"pin with another second", "2x4", ""},
        {"voltages", "707172737475",
         "SetV\tOpen\r\nSetV\t2.5\r\nSetV\t3.0\r\nSetV\t3.5\r\nSetV\t4.0\r\nSetV\t5.0\r\n"},
        {"voltage with another second", "76", ""},
        {"line drives", "80818283", "SCL0\r\nSCL1\r\nSDA0\r\nSDA1\r\n"},
        {"line reads", "90919293", "SCL:\t0\r\nSCL:\t1\r\nSDA:\t0\r\nSDA:\t1\r\n"},
        {"line with another second", "8494", ""},
        {"start and stop in both cases", "sSpP", "START\r\nSTART\r\nSTOP\r\nSTOP\r\n"},
        {"reads and writes", "r52aR01NwFFnW00x",
         "READ\t0x52\tAck\r\nREAD\t0x01\tNack\r\nWRITE\t0xFF\tNack\r\nWRITE\t0x00\t"},
        {"delays", "D0Ad0A", "Delay\t0x0A uS\r\nDelay\t0x0A mS\r\n"},
        {"pin states stay on the line", "A0010101", "GPPin?\t01010[Speed=FAST]\r\n"},
        {"directions, then the next item", "A111000", "GPDir?\t1100[Speed=SLOW]\r\n"},
        {"set directions", "A2s1", "[Speed=FAST]\r\n"},
        {"A with another second", "A9", ""},
        {"A at the end", "A", ""},
        {"other characters", "xyz!#", ""},
        {"cut-off read", "r5", "READ\t0x5\t"},
        {"cut-off write", "w", "WRITE\t0x\t"},
        {"cut-off delay", "D", "Delay\t0x uS\r\n"},
        {"cut-off pin states", "A001", "GPPin?\t01"},
    };
    for (const ReplyCase& c : cases) {
        EXPECT_EQ(decode("!0010" + c.buffer + "\r").text, c.text) << c.name;
    }
}

TEST(DecoderTest, FramingAndBuffer) {
    struct Case {
        const char* name;
        std::string buffer;
        std::string text;
        std::string rxd;
        std::string rest;
    };
    const std::vector<Case> cases = {
        {"raw reply shown", "!0010sW90aW00ap\r", "START\r\nWRITE\t0x90\tAck\r\nWRITE\t0x00\tAck\r\nSTOP\r\n",
         "!0010sW90aW00ap[cr]", ""},
        {"two replies, second shown", "!0013\r\n!0014\r\n",
         "[Edge = High-to-Low ]\r\n[Edge = Low-to-High ]\r\n", "!0014[cr]", ""},
        {"incomplete reply waits", "!0010r5", "", "", "!0010r5"},
        {"incomplete tail from its last start", "xx!00!0010r5", "", "", "!0010r5"},
        {"garbage before the start", "xy!0013\r", "[Edge = High-to-Low ]\r\n", "!0013[cr]", ""},
        {"segment without start dropped", "abc\r!0014\r", "[Edge = Low-to-High ]\r\n", "!0014[cr]", ""},
        {"second start wins", "!0013!0014\r", "[Edge = Low-to-High ]\r\n", "!0014[cr]", ""},
        {"empty reply ends the call", "!\r!0013\r", "", "", "!0013\r"},
        {"leading end marks skipped", "\r\r\n!0013\r", "[Edge = High-to-Low ]\r\n", "!0013[cr]", ""},
        {"rest without start dropped", "!0013\rjunk", "[Edge = High-to-Low ]\r\n", "!0013[cr]", ""},
        {"line feeds only", "\n\n\n", "", "", "\n\n\n"},
        {"reply then incomplete", "!0013\r\n!0010s", "[Edge = High-to-Low ]\r\n", "!0013[cr]", "!0010s"},
        {"binary bytes", std::string("\0\xff!0013\r\0\x80", 10), "[Edge = High-to-Low ]\r\n", "!0013[cr]",
         ""},
    };
    for (const Case& c : cases) {
        const Decoded r = decode(c.buffer);
        EXPECT_EQ(r.text, c.text) << c.name;
        EXPECT_EQ(r.rxd, c.rxd) << c.name;
        EXPECT_EQ(r.rest, c.rest) << c.name;
    }
}

TEST(DecoderTest, ReplyCompletedByTheNextArrival) {
    ActivityText a;
    std::string buffer = "!0010r5";
    process(kProcessAll, "", a, buffer);
    EXPECT_EQ(a.text, "");
    buffer += "2a\r\n";
    process(kProcessAll, "", a, buffer);
    EXPECT_EQ(a.text, "READ\t0x52\tAck\r\n");
    EXPECT_EQ(buffer, "");
}

TEST(DecoderTest, ContinuousRxAndClearing) {
    EXPECT_EQ(decode("!0010s\r", true, "before\r\n").text, "before\r\nSTART\r\n");
    EXPECT_EQ(decode("!0010s\r", false, "before\r\n").text, "START\r\n");
    // Identification always empties the list; other codes append.
    EXPECT_EQ(decode("!000001530102\r", true, "before\r\n").text.substr(0, 19), "[Firmware Version:]");
    EXPECT_EQ(decode("!0013\r", false, "before\r\n").text, "before\r\n[Edge = High-to-Low ]\r\n");
}

TEST(DecoderTest, OtherIndexDoesNothing) {
    ActivityText a;
    std::string buffer = "!0013\r";
    process(0, "", a, buffer);
    process(254, "", a, buffer);
    EXPECT_EQ(a.text, "");
    EXPECT_EQ(buffer, "!0013\r");
}

TEST(DecoderTest, UnreadableStatusFlagIsAProcessError) {
    AlertRecorder alerts;
    ActivityText a;
    std::string buffer = "!00193300x01\r\n!0013\r\n";
    process(kProcessAll, "", a, buffer);
    EXPECT_EQ(a.text, "[VSlave:  3.300v  ]\r\n");
    EXPECT_EQ(a.rxd, "!00193300x01[cr]");
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].caption, "Process error");
    EXPECT_EQ(alerts.alerts[0].message,
              "Error Code: 0x0000000D\r\n\r\nIndex:     255\r\nResponse: 00193300x01\r\nBuffer:    8");
    EXPECT_EQ(alerts.alerts[0].fontSize, 12);
    EXPECT_TRUE(alerts.alerts[0].beep);
    // The failed reply is lost; the one behind it is decoded at the next call.
    EXPECT_EQ(buffer, "\n!0013\r\n");
    process(kProcessAll, "", a, buffer);
    EXPECT_EQ(a.text, "[VSlave:  3.300v  ]\r\n[Edge = High-to-Low ]\r\n");

    alerts.alerts.clear();
    std::string missing = "!00193300";
    missing += "\r";
    process(kProcessAll, "", a, missing);
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].message,
              "Error Code: 0x0000000D\r\n\r\nIndex:     255\r\nResponse: 00193300\r\nBuffer:    0");
}

// Every reply reaches replied() with the lines it added, also when two come in one call, when
// one clears the list first, and when one fails half-way.
TEST(DecoderTest, EveryReplyIsHandedOnWithItsOwnLines) {
    struct Recorder final : BusActivity {
        void clear() override { text.clear(); }
        void append(std::string_view t) override { text.append(t); }
        void setRxd(std::string_view) override {}
        bool continuousRx() override { return false; }
        void replied(std::string_view reply, std::string_view lines) override {
            seen.emplace_back(std::string(reply), std::string(lines));
        }
        std::string text;
        std::vector<std::pair<std::string, std::string>> seen;
    };
    AlertRecorder alerts;
    Recorder a;
    a.text = "before\r\n";
    std::string buffer = "!0013\r\n!0010sp\r\n!0010\r\n!00193300x01\r\n!0018\r\n";
    process(kProcessAll, "", a, buffer);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"0013", "[Edge = High-to-Low ]\r\n"},
        {"0010sp", "START\r\nSTOP\r\n"},
        {"0010", ""},
        {"00193300x01", "[VSlave:  3.300v  ]\r\n"},
    };
    EXPECT_EQ(a.seen, expected);
    EXPECT_EQ(alerts.alerts.size(), 1u);
    process(kProcessAll, "", a, buffer);
    ASSERT_EQ(a.seen.size(), 5u);
    EXPECT_EQ(a.seen.back(), std::make_pair(std::string("0018"), std::string("[Speed set Fast=400k]\r\n")));
}

// The items as the decoder walks them: kind, the characters it reads and how far it goes.
TEST(DecoderTest, ResultItemsAsTheyAreRead) {
    struct Row {
        const char* reply;
        ItemKind kind;
        const char* pair;
        const char* data;
        char ack;
        std::size_t advance;
    };
    const Row rows[] = {
        {"0010W90a", ItemKind::Write, "90", "", 'a', 4},
        {"0010r5", ItemKind::Read, "5", "", '\0', 4},
        {"0010?76", ItemKind::BadToken, "76", "", '\0', 3},
        {"0010A001010", ItemKind::Pins, "00", "01010", '\0', 7},
        {"0010A11100", ItemKind::Directions, "11", "1100", '\0', 6},
        {"0010A2a", ItemKind::DirectionsSet, "2a", "", '\0', 3},
        {"0010A9", ItemKind::Other, "9", "", '\0', 1},
        {"0010D0A", ItemKind::DelayMicro, "0A", "", '\0', 3},
        {"0010S", ItemKind::Start, "", "", '\0', 1},
        {"0010x", ItemKind::Other, "", "", '\0', 1},
        {"00107", ItemKind::Supply, "", "", '\0', 2},
    };
    for (const Row& row : rows) {
        const ResultItem item = resultitem(row.reply, 5);
        EXPECT_EQ(item.kind, row.kind) << row.reply;
        EXPECT_EQ(item.pair, row.pair) << row.reply;
        EXPECT_EQ(item.data, row.data) << row.reply;
        EXPECT_EQ(item.ack, row.ack) << row.reply;
        EXPECT_EQ(item.advance, row.advance) << row.reply;
    }
}

TEST(DecoderTest, MegabytesOfReplies) {
    std::string buffer;
    for (int i = 0; i < 50000; ++i) buffer += "noise\r!0010sW90aR12np\r\n!0013\r\n!00193300101\r\n";
    ActivityText a;
    a.continuous = true;
    process(kProcessAll, "", a, buffer);
    EXPECT_EQ(buffer, "");
    const std::string one =
        "START\r\nWRITE\t0x90\tAck\r\nREAD\t0x12\tNack\r\nSTOP\r\n[Edge = High-to-Low ]\r\n[VSlave:  3.300v  "
        "]\r\n"
        "[Speed:   Fast    ]\r\n[OnEdge:  Off     ]\r\n[Edge:    Lo-to-Hi]\r\n";
    ASSERT_EQ(a.text.size(), one.size() * 50000);
    EXPECT_EQ(a.text.substr(0, one.size()), one);
    EXPECT_EQ(a.text.substr(a.text.size() - one.size()), one);
}

struct TokenCase {
    std::string buffer;
    std::string reply;
    std::string rest;
};

TEST(GettokenTest, CutsAndWhatTheBufferKeeps) {
    const std::vector<TokenCase> cases = {
        {"", "", ""},
        {"!abc\r", "abc", ""},
        {"!abc\r\n", "abc", ""},
        {"!abc\r!def\r", "abc", "!def\r"},
        {"!abc\r\r!def\r", "abc", "\r!def\r"},
        {"\r\r!abc\r", "abc", ""},
        {"noise!abc\r", "abc", ""},
        {"!x!abc\r", "abc", ""},
        {"abc\r", "", ""},
        {"abc\rdef", "", "def"},
        {"abc\rq!x!y", "", "q!x!y"},
        {"abc\r\r\r", "", ""},
        {"!abc", "", "!abc"},
        {"zz!a!abc", "", "!abc"},
        {"zzz", "", "zzz"},
        {"\r\rzzz", "", "zzz"},
        {"!\r!abc\r", "", "!abc\r"},
    };
    for (const TokenCase& c : cases) {
        std::string buffer = c.buffer;
        EXPECT_EQ(gettoken("!", "\r", buffer), c.reply) << c.buffer;
        EXPECT_EQ(buffer, c.rest) << c.buffer;
        // The position-based cut agrees with the buffer-based one.
        std::size_t pos = 0;
        EXPECT_EQ(nextreply(c.buffer, pos), c.reply) << c.buffer;
        EXPECT_EQ(c.buffer.substr(pos), c.rest) << c.buffer;
    }
    std::string buffer = "<a>b<";
    EXPECT_EQ(gettoken("<", ">", buffer), "a");
    EXPECT_EQ(buffer, "b<");
    buffer = "xx<<abc>>yy<<";
    EXPECT_EQ(gettoken("<<", ">>", buffer), "abc");
    EXPECT_EQ(buffer, "yy<<");
    buffer = "!a\r";
    EXPECT_EQ(gettoken("", "\r", buffer), "");
    EXPECT_EQ(gettoken("!", "", buffer), "");
    EXPECT_EQ(buffer, "!a\r");
}

TEST(ZeropadTest, WidthsAndSigns) {
    const std::vector<std::tuple<double, std::int16_t, std::string>> cases = {
        {7, 3, "007"},    {1234, 3, "234"}, {-5, 3, "-05"},  {0, 1, "0"},       {3, 1, "3"},
        {300, 3, "300"},  {2.5, 3, "003"},  {2.4, 2, "02"},  {-5, 1, "-"},      {42, 0, "42"},
        {-42, -1, "-42"}, {1e20, 2, "00"},  {-0.4, 2, "-0"}, {12, 6, "000012"},
    };
    for (const auto& [value, width, text] : cases)
        EXPECT_EQ(zeropad(value, width), text) << value << "/" << width;
}

}  // namespace
}  // namespace sarnel
