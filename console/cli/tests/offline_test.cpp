// sarnel-cli compile, decode and samples, run as a user runs them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "cli_support.h"

namespace {

using namespace clitest;

TEST(CliCompileTest, PrintsTheFrameAsTheTxdWindowShowsIt) {
    Result r = cli("compile", "Start|Write 0x90|Stop");
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "$00100500019004[cr]\n");
    EXPECT_EQ(r.err, "");

    r = cli("compile -", "Start\r\nWrite 0x90\r\nStop\r\n");
    EXPECT_EQ(r.out, "$00100500019004[cr]\n");

    r = cli("compile --raw", "Start|Write 0x90|Stop");
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "$00100500019004\r");

    const std::string file =
        writefile("lm75.txt", ";LM75\r\nStart\r\nWrite  0x91\r\nRead   ack\r\nRead   Nack\r\nStop\r\n");
    r = cli("compile " + file);
    EXPECT_EQ(r.out, "$001007000191020304[cr]\n");

    r = cli("compile --sample 7");
    EXPECT_EQ(r.out, "$00100F21050A2031050A3041050A405150[cr]\n");
    r = cli("compile --sample=1 --raw");
    EXPECT_EQ(r.out, "$001007000191020304\r");
}

TEST(CliCompileTest, CompileErrorsGoToStandardError) {
    Result r = cli("compile", "Start Frob");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "I2C processor error: Unidentified element encountered: \nFrob\n");

    r = cli("compile", "");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "I2C processor error: No data to compile!\n");

    r = cli("compile", std::string("\0\xff\x01\r\n", 5));
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out, "");

    r = cli("compile " + scratch() + "/no-such-file");
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("cannot open"), std::string::npos);
}

TEST(CliCompileTest, ANulByteDoesNotCutTheMessage) {
    const std::string element("sta\0rt", 6);
    Result r = cli("compile", "start " + element);
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "I2C processor error: Unidentified element encountered: \n" + element + "\n");
    // run compiles before it opens a port: the same message.
    r = cli("run --port /nonexistent/tty", "start " + element);
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find(element + "\n"), std::string::npos) << r.err;
}

TEST(CliDecodeTest, PrintsTheBusActivity) {
    Result r = cli("decode", "!0010sW90aW00ap\r\n");
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "START\nWRITE\t0x90\tAck\nWRITE\t0x00\tAck\nSTOP\n");

    // Each script reply empties the list unless --continuous.
    const std::string two = "!0010s\r\n!0010p\r\n";
    EXPECT_EQ(cli("decode", two).out, "STOP\n");
    EXPECT_EQ(cli("decode --continuous", two).out, "START\nSTOP\n");

    // A reply split across two pieces is decoded once it is complete.
    const std::string file = writefile("replies.bin", "!0010r5\n2a\r\n!000002260005\r\n!001A08\r\n");
    r = cli("decode --continuous " + file);
    EXPECT_EQ(r.out,
              "[Firmware Version:]\n[0226.00.05       ]\n[6354 USB Master  ]\n\n[Reset:   Power up]\n\n");
}

TEST(CliDecodeTest, ProcessErrorIsReportedAndDecodingGoesOn) {
    const Result r = cli("decode", "!00193300x01\r\n!0013\r\n");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out, "[VSlave:  3.300v  ]\n[Edge = High-to-Low ]\n");
    EXPECT_EQ(
        r.err,
        "Process error: Error Code: 0x0000000D\n\nIndex:     255\nResponse: 00193300x01\nBuffer:    0\n");
}

TEST(CliDecodeTest, ANulInAReplyKeepsTheWholeProcessError) {
    const std::string reply(
        "00193300x\0"
        "1",
        11);
    const Result r = cli("decode", "!" + reply + "\r\n");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "Process error: Error Code: 0x0000000D\n\nIndex:     255\nResponse: " + reply +
                         "\nBuffer:    0\n");
}

TEST(CliDecodeTest, GarbageAndLongInput) {
    std::string noise(3 << 20, 'x');
    for (std::size_t i = 0; i < noise.size(); i += 97) noise[i] = static_cast<char>(i % 251);
    const Result r = cli("decode", noise + "\r\n!0013\r\n");
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "[Edge = High-to-Low ]\n");
}

TEST(CliUsageTest, ErrorsAndHelp) {
    const char* bad[] = {
        "compile --bogus", "compile a b", "compile --sample", "compile --sample 8", "compile --sample 1 file",
        "decode --raw",    "decode a b",  "samples 9",        "samples 1 2"};
    for (const char* args : bad) {
        const Result r = cli(args);
        EXPECT_EQ(r.exit, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args;
    }
    for (const char* args : {"compile --help", "decode --help", "samples -h"}) {
        const Result r = cli(args);
        EXPECT_EQ(r.exit, 0) << args;
        EXPECT_EQ(r.out.rfind("usage: sarnel-cli ", 0), 0u) << args;
    }
}

TEST(CliSamplesTest, ListsAndPrints) {
    Result r = cli("samples");
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out.substr(0, 39), "0  Set Slave interface voltage to 5.0V\n");
    EXPECT_NE(r.out.find("7  Walking Pulse Generator\n"), std::string::npos);
    r = cli("samples 0");
    EXPECT_EQ(r.out, ";Set Slave interface voltage to 5.0V\nSetV    5.0\n");
}

}  // namespace
