// The bus scan and register access as frames and replies, without a port: which frames go
// out, how the replies are read, and where a request stops.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "console/bench/busscan.h"
#include "console/bench/registers.h"

namespace sarnel::bench {
namespace {

// The token text of a frame: what follows "$0010" and the length digits, without the CR.
std::string tokens(const std::string& frame) {
    return frame.substr(7, frame.size() - 8);
}

std::string hex2(unsigned v) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", v);
    return text;
}

// The adapter's reply to a scan frame on a bus whose devices are `present` (7-bit).
std::string scanreply(const std::string& frame, const std::set<int>& present) {
    const std::string t = tokens(frame);
    std::string reply = "0010";
    for (std::size_t i = 0; i < t.size();) {
        const std::string code = t.substr(i, 2);
        if (code == "01") {
            const int byte = std::stoi(t.substr(i + 2, 2), nullptr, 16);
            reply += "W" + t.substr(i + 2, 2) + (present.count(byte >> 1) ? "a" : "n");
            i += 4;
            continue;
        }
        reply += code == "00" ? "s" : code == "04" ? "p" : "RFFn";
        i += 2;
    }
    return reply;
}

std::vector<std::uint8_t> scan(ScanRange range, const std::set<int>& present, std::size_t* frames = nullptr) {
    BusScan s(range);
    std::size_t sent = 0;
    for (std::string f = s.nextframe(); !f.empty(); f = s.nextframe()) {
        ++sent;
        s.answer(scanreply(f, present));
    }
    EXPECT_TRUE(s.finished());
    EXPECT_EQ(s.error(), "");
    if (frames) *frames = sent;
    return s.found();
}

TEST(BusScan, PacksProbesIntoFourFrames) {
    BusScan s(ScanRange{});
    ASSERT_EQ(s.frames().size(), 4u);
    // 31 write probes of 4 token bytes each: the length byte is 125.
    EXPECT_EQ(s.frames()[0].substr(0, 17), "$00107D0001100400");
    EXPECT_EQ(s.frames()[0].back(), '\r');
    std::string last;  // 0x65 to 0x77: 19 probes, 76 token bytes
    for (int a = 0x65; a <= 0x77; ++a) last += "0001" + hex2(static_cast<unsigned>(a << 1)) + "04";
    EXPECT_EQ(s.frames()[3], "$00104D" + last + "\r");
    // Read probes: Start, Write address+R, Read Nack, Stop, 24 to a frame.
    BusScan r(ScanRange{0x08, 0x77, true});
    EXPECT_EQ(r.frames().size(), 5u);
    EXPECT_EQ(r.frames()[0].substr(0, 17), "$0010790001110304");
}

TEST(BusScan, FindsNoneOneAndSeveral) {
    EXPECT_TRUE(scan({}, {}).empty());
    EXPECT_EQ(scan({}, {0x48}), (std::vector<std::uint8_t>{0x48}));
    EXPECT_EQ(scan({}, {0x08, 0x27, 0x48, 0x50, 0x57, 0x77}),
              (std::vector<std::uint8_t>{0x08, 0x27, 0x48, 0x50, 0x57, 0x77}));
    // Devices outside the range are not probed.
    EXPECT_EQ(scan({0x40, 0x4F, false}, {0x08, 0x48, 0x50}), (std::vector<std::uint8_t>{0x48}));
    EXPECT_EQ(scan({0x40, 0x4F, true}, {0x48, 0x4F}), (std::vector<std::uint8_t>{0x48, 0x4F}));
}

TEST(BusScan, ARangeThatEndsMidFrame) {
    std::size_t frames = 0;
    // 0x08..0x30 is 41 addresses: a full frame of 31 and one of 10.
    EXPECT_EQ(scan({0x08, 0x30, false}, {0x27, 0x30}, &frames), (std::vector<std::uint8_t>{0x27, 0x30}));
    EXPECT_EQ(frames, 2u);
    EXPECT_EQ(scan({0x00, 0x00, false}, {0x00}, &frames), (std::vector<std::uint8_t>{0x00}));
    EXPECT_EQ(frames, 1u);
    EXPECT_EQ(scan({0x00, 0x7F, true}, {0x7F}, &frames), (std::vector<std::uint8_t>{0x7F}));
    EXPECT_EQ(frames, 6u);
    EXPECT_THROW(BusScan({0x20, 0x10, false}), std::invalid_argument);
    EXPECT_THROW(BusScan({0x20, 0x80, false}), std::invalid_argument);
}

TEST(BusScan, AReplyThatDoesNotAnswerTheFrameFailsTheScan) {
    for (const std::string reply : {"0010?7D", "0010", "0010sW10ap" /* one probe of 31 */, "0010sW10xp"}) {
        BusScan s(ScanRange{});
        s.nextframe();
        s.answer(reply);
        EXPECT_NE(s.error().find("does not answer the frame"), std::string::npos) << reply;
        EXPECT_EQ(s.nextframe(), "") << reply;  // every probe ends with a stop: nothing to release
        EXPECT_TRUE(s.finished());
    }
}

TEST(BusScan, GridAsEngineersKnowIt) {
    const std::string grid = scangrid({0x0A, 0x72, false}, {0x0A, 0x48, 0x50});
    const std::string expected =
        "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f\n"
        "00:                               0a -- -- -- -- --\n"
        "10: -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- --\n"
        "20: -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- --\n"
        "30: -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- --\n"
        "40: -- -- -- -- -- -- -- -- 48 -- -- -- -- -- -- --\n"
        "50: 50 -- -- -- -- -- -- -- -- -- -- -- -- -- -- --\n"
        "60: -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- --\n"
        "70: -- -- --\n";
    EXPECT_EQ(grid, expected);
}

TEST(Registers, ATwoByteReadIsOneFrame) {
    RegisterRead r({0x48, 0x00, false}, 2);
    ASSERT_EQ(r.frames().size(), 1u);
    EXPECT_EQ(r.frames()[0], "$00100C0001900100000191020304\r");
    EXPECT_EQ(r.script(), "Start Write 0x90 Write 0x00\r\nStart Write 0x91 Read Ack Read Nack Stop");
    EXPECT_EQ(r.nextframe(), r.frames()[0]);
    r.answer("0010sW90aW00asW91aR19aR80np");
    EXPECT_TRUE(r.finished());
    EXPECT_EQ(r.error(), "");
    EXPECT_EQ(r.data(), (std::vector<std::uint8_t>{0x19, 0x80}));
}

TEST(Registers, ALongReadRunsOnOverFramesAsOneSequentialRead) {
    RegisterRead r({0x50, 0x00, false}, 256);
    // 8 token bytes of address and register, 256 reads and a stop: 265 bytes in 3 frames.
    ASSERT_EQ(r.frames().size(), 3u);
    EXPECT_EQ(tokens(r.frames()[0]).substr(0, 16),
              "0001A0010000"
              "01A1");
    std::string reads;
    for (int i = 0; i < 124; ++i) reads += "02";
    EXPECT_EQ(tokens(r.frames()[1]), reads);
    EXPECT_EQ(tokens(r.frames()[2]).substr(tokens(r.frames()[2]).size() - 4), "0304");  // Nack, Stop
    std::vector<std::uint8_t> expected;
    for (std::size_t f = 0; f < 3; ++f) {
        const std::string frame = r.nextframe();
        std::string reply = "0010";
        const std::string t = tokens(frame);
        for (std::size_t i = 0; i < t.size();) {
            if (t.compare(i, 2, "01") == 0) {
                reply += "W" + t.substr(i + 2, 2) + "a";
                i += 4;
            } else if (t.compare(i, 2, "02") == 0 || t.compare(i, 2, "03") == 0) {
                const auto b = static_cast<std::uint8_t>(expected.size() * 7);
                expected.push_back(b);
                reply += "R" + hex2(b) + (t[i + 1] == '2' ? "a" : "n");
                i += 2;
            } else {
                reply += t.compare(i, 2, "00") == 0 ? "s" : "p";
                i += 2;
            }
        }
        r.answer(reply);
    }
    EXPECT_EQ(r.nextframe(), "");
    EXPECT_TRUE(r.finished());
    EXPECT_EQ(r.error(), "");
    EXPECT_EQ(r.data(), expected);
    EXPECT_EQ(r.data().size(), 256u);
}

TEST(Registers, ANackNamesTheByteAndStopsTheRequest) {
    struct Row {
        RegisterAddress at;
        const char* reply;
        const char* error;
    };
    const Row rows[] = {
        {{0x49, 0x00, false},
         "0010sW92nW00nsW93nRFFaRFFnp",
         "the address byte 0x92 (device 0x49, write) was not acknowledged"},
        {{0x48, 0x07, false},
         "0010sW90aW07nsW91aR00aR00np",
         "the register address byte 0x07 was not acknowledged by device 0x48"},
        {{0x48, 0x0107, true},
         "0010sW90aW01nW07nsW91aR00aR00np",
         "the register address high byte 0x01 was not acknowledged by device 0x48"},
        {{0x48, 0x0107, true},
         "0010sW90aW01aW07nsW91aR00aR00np",
         "the register address low byte 0x07 was not acknowledged by device 0x48"},
        {{0x48, 0x00, false},
         "0010sW90aW00asW91nRFFaRFFnp",
         "the address byte 0x91 (device 0x48, read) was not acknowledged"},
        {{0x48, 0x00, false},
         "0010sW90aW00asW91aRxyaR00np",
         "the adapter's reply holds no byte for read 1: 'xy'"},
    };
    for (const Row& row : rows) {
        RegisterRead r(row.at, 2);
        r.nextframe();
        r.answer(row.reply);
        EXPECT_EQ(r.error(), row.error) << row.reply;
        EXPECT_EQ(r.nextframe(), "") << row.reply;
        EXPECT_TRUE(r.finished());
    }
}

TEST(Registers, AFailureInTheMiddleOfALongReadReleasesTheBus) {
    RegisterRead r({0x57, 0x00, false}, 200);
    ASSERT_EQ(r.frames().size(), 2u);
    r.nextframe();
    std::string reply = "0010sWAEnW00nsWAFn";
    for (int i = 0; i < 116; ++i) reply += "RFFa";
    r.answer(reply);
    EXPECT_EQ(r.error(), "the address byte 0xAE (device 0x57, write) was not acknowledged");
    EXPECT_FALSE(r.finished());
    EXPECT_EQ(r.nextframe(), "$00100204\r");  // Stop
    EXPECT_TRUE(r.finished());
    EXPECT_EQ(r.nextframe(), "");
}

TEST(Registers, WritesAndTheirRefusals) {
    RegisterWrite w({0x50, 0x10, false}, {0x11, 0x22, 0x33});
    ASSERT_EQ(w.frames().size(), 1u);
    EXPECT_EQ(tokens(w.frames()[0]),
              "0001A00110011101220133"
              "04");
    w.nextframe();
    w.answer("0010sWA0aW10aW11aW22aW33ap");
    EXPECT_TRUE(w.finished());
    EXPECT_EQ(w.error(), "");

    RegisterWrite refused({0x50, 0x10, false}, {0x11, 0x22, 0x33});
    refused.nextframe();
    refused.answer("0010sWA0aW10aW11aW22nW33np");
    EXPECT_EQ(refused.error(), "data byte 2 of 3, 0x22, was not acknowledged by device 0x50");

    RegisterWrite wide({0x50, 0x1234, true}, {0xAB});
    EXPECT_EQ(tokens(wide.frames()[0]),
              "0001A001120134"
              "01AB"
              "04");
    EXPECT_THROW(RegisterWrite({0x50, 0x100, false}, {1}), std::invalid_argument);
    EXPECT_THROW(RegisterWrite({0x80, 0x00, false}, {1}), std::invalid_argument);
    EXPECT_THROW(RegisterWrite({0x50, 0x00, false}, {}), std::invalid_argument);
    EXPECT_THROW(RegisterRead({0x50, 0x00, false}, 0), std::invalid_argument);
}

}  // namespace
}  // namespace sarnel::bench
