#include "console/command/compiler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/command/samples.h"

namespace sarnel {
namespace {

std::string frameof(std::string script) {
    return compilescript(script).frame;
}
std::string errorof(std::string script) {
    return compilescript(script).error;
}

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

struct FrameCase {
    const char* name;
    std::string script;
    std::string frame;
};

TEST(CompilerTest, ScriptsCompileToTheirFrames) {
    const std::vector<FrameCase> cases = {
        {"one line with bars", "Start|Write 0x90|Stop", "$00100500019004\r"},
        {"queue lines", "Start\r\nWrite 0x90\r\nStop\r\n", "$00100500019004\r"},
        {"decimal value", "Write 90", "$001003015A\r"},
        {"hex value", "Write 0x90", "$0010030190\r"},
        {"upper-case hex marker", "WRITE 0X9f", "$001003019F\r"},
        {"missing value is zero", "Write", "$0010030100\r"},
        {"value never from the next line", "Write\nStop", "$001004010004\r"},
        {"hex takes two digits only", "Write 0x123", "$0010030112\r"},
        {"one hex digit", "Write 0x5", "$0010030105\r"},
        {"hex marker alone", "Write 0x", "$0010030100\r"},
        {"non-digits among the two skipped", "Write 0xG1", "$0010030101\r"},
        {"first character not examined", "Write 9x41", "$0010030141\r"},
        {"decimal reduced modulo 256", "Write 256 Write 300 Write -1", "$0010070100012C01FF\r"},
        {"fraction dropped", "Write 1.9", "$0010030101\r"},
        {"exponent with D", "Write 1D2", "$0010030164\r"},
        {"ampersand hex and octal", "Write &HFF Write &O17", "$00100501FF010F\r"},
        {"unreadable value is zero", "Write abc", "$0010030100\r"},
        {"read consumes its argument", "Read Stop", "$00100203\r"},
        {"read ack in any case", "Read ACK Read nack Read", "$001004020303\r"},
        {"indented line ignored", "Start | Write 0x90", "$00100200\r"},
        {"tab-indented line ignored", "Start\n\tStop", "$00100200\r"},
        {"tabs between words", "Start\t\t\tStop\t", "$0010030004\r"},
        {"comments of three kinds", "Start ;x\nStop /y\nSpeed? \\z", "$001004000410\r"},
        {"blank lines vanish", "\r\n\r\nStart\r\n\r\n\r\nStop\r\n\r\n", "$0010030004\r"},
        {"setv levels", "SetV open SetV 2.5 SETV 3.0 setv 3.5 SetV 4.0 SetV 5.0", "$001007707172737475\r"},
        {"setvx millivolts", "SetVx 3.3", "$001004760CE4\r"},
        {"setvx five volts", "SetVx 5", "$001004761388\r"},
        {"setvx reduced modulo 65536", "SetVx 70", "$001004761170\r"},
        {"gpdir four characters", "GPDIR 0b0011", "$001004A20011\r"},
        {"gpdir short word still three bytes", "GPDIR 1", "$001004A21\r"},
        {"gpdir missing word", "GPDIR", "$001004A2\r"},
        {"delay forms", "Delay 10 Delayu 10 Delayu 0x0a Delayu 010 DelayM 0x0A",
         "$00100B050A050A050A050A060A\r"},
        {"pins and lines",
         "gp0lo gp0hi gp1lo gp1hi gp2lo gp2hi gp3lo gp3hi int? scl0 scl1 sda0 sda1 scl? sda?",
         "$0010102021303140415051608081828390 92\r"},
        {"pin queries", "GPPIN? GPDIR?", "$001003A0A1\r"},
        {"the malformed test token", "badtokentest", "$00100276\r"},
    };
    for (const FrameCase& c : cases) {
        std::string expected = c.frame;
        std::erase(expected, ' ');
        EXPECT_EQ(frameof(c.script), expected) << c.name;
    }
}

TEST(CompilerTest, SetvxOverflowAndLimitsStayDefined) {
    // Products beyond the double range are limited, then reduced to four digits.
    EXPECT_EQ(frameof("SetVx 1e308"), "$00100476FFFF\r");
    EXPECT_EQ(frameof("SetVx 1e999"), "$00100476FFFF\r");
    EXPECT_EQ(frameof("SetVx -1e999"), "$001004760000\r");
    EXPECT_EQ(frameof("SetVx -0.001"), "$00100476FFFF\r");
    EXPECT_EQ(frameof("Write 1e400"), "$00100301FF\r");
    EXPECT_EQ(frameof("Write &H" + std::string(400, 'F')), "$00100301FF\r");
}

TEST(CompilerTest, SamplesCompile) {
    const std::vector<std::string> frames = {
        "$00100275\r",
        "$001007000191020304\r",
        "$00100C0001900102000191020304\r",
        "$0010060001910304\r",
        "$00100B00019001010001910304\r",
        "$0010090001900101011204\r",
        "$00100B00019001020134015204\r",
        "$00100F21050A2031050A3041050A405150\r",
    };
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(kSampleCount));
    for (int i = 0; i < kSampleCount; ++i) EXPECT_EQ(frameof(sampletext(i)), frames[i]) << "sample " << i;
}

TEST(CompilerTest, Errors) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "No data to compile!"},
        {"\r\n\r\n|||", "No data to compile!"},
        {";only a comment\r\n/another\r\n\\third", "No data to compile!"},
        {"  Start\r\n\tStop", "No data to compile!"},
        {"Start Bogus Stop", "Unidentified element encountered: \r\nBogus"},
        {"SetV 3.3", "Unidentified element encountered: \r\n3.3"},
        {"SetV OPEN SetV Half", "Unidentified element encountered: \r\nHalf"},
        {"SetV", "Unidentified element encountered: \r\n"},
        {"Start\x01", "Unidentified element encountered: \r\nStart\x01"},
        {std::string("Sta\0rt", 6), std::string("Unidentified element encountered: \r\nSta\0rt", 42)},
    };
    for (const auto& [script, message] : cases) EXPECT_EQ(errorof(script), message) << script;
}

TEST(CompilerTest, TokenLimit) {
    // 124 token bytes fill the frame: length byte 7D.
    const std::string full = repeat("Write 1\n", 62);
    const CompileResult r = [&] {
        std::string s = full;
        return compilescript(s);
    }();
    EXPECT_EQ(r.frame.substr(0, 7), "$00107D");
    EXPECT_EQ(r.frame.size(), 7 + 248 + 1u);
    EXPECT_EQ(r.tokenBytes, 124);
    EXPECT_EQ(errorof(full + "Stop"), "I2C transactions limited to 125 tokens");
    EXPECT_EQ(errorof(repeat("Start Stop\n", 62) + "Start"), "I2C transactions limited to 125 tokens");
    // An unknown word is reported even after the limit has been passed.
    EXPECT_EQ(errorof(repeat("Start Stop\n", 70) + "Bogus"), "Unidentified element encountered: \r\nBogus");
    // A token count far beyond 16 bits, and lines of more than 8000 words.
    EXPECT_EQ(errorof(repeat(repeat("Start ", 9000) + "\n", 100)), "I2C transactions limited to 125 tokens");
}

TEST(CompilerTest, OnlyTheFirstHundredLinesCount) {
    // Line 101 is never looked at; blank lines do not count towards the hundred.
    EXPECT_EQ(frameof(repeat("Start\r\n\r\n", 100) + "Bogus").substr(0, 7), "$001065");
    EXPECT_EQ(errorof(repeat("Start\r\n\r\n", 99) + "Bogus"), "Unidentified element encountered: \r\nBogus");
    // Comment-only and indented lines take places among the hundred.
    EXPECT_EQ(frameof(";c\n" + repeat("Start\n", 98) + " x\nBogus").substr(0, 7), "$001063");
    EXPECT_EQ(errorof(";c\n" + repeat("Start\n", 97) + " x\nBogus"),
              "Unidentified element encountered: \r\nBogus");
    // A separator at the very start opens an empty first line, which takes a place too.
    EXPECT_EQ(frameof("|" + repeat("Start\n", 99) + "Bogus").substr(0, 7), "$001064");
}

TEST(CompilerTest, ScriptIsNormalisedInPlace) {
    std::string script = "Start\t\t| |Stop \r\n\r\n";
    compilescript(script);
    EXPECT_EQ(script, "Start \r \rStop \r");
}

}  // namespace
}  // namespace sarnel
