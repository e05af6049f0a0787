// sarnel-cli ports, run and press against a simulated adapter and a silent port.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "cli_support.h"

namespace {

using namespace clitest;

TEST(CliPorts, FindsTheSimulatedAdapter) {
    const Result r = cli("ports --simulate");
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("COM3\t/dev/pts/"), std::string::npos) << r.out;
}

TEST(CliRun, SendsAScriptAndPrintsTheActivity) {
    const std::string script = writefile("lm75.txt",
                                         "Start\nWrite 0x90\nWrite 0x00\nStart\nWrite 0x91\n"
                                         "Read Ack\nRead Nack\nStop\n");
    const Result r = cli("run --simulate " + script);
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("START"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("WRITE\t0x90\tAck"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("READ\t0x"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("STOP"), std::string::npos) << r.out;
    // The same from standard input.
    const Result piped = cli("run --simulate", "Start|Write 0x90|Stop\n");
    EXPECT_EQ(piped.exit, 0) << piped.err;
    EXPECT_NE(piped.out.find("WRITE\t0x90"), std::string::npos) << piped.out;
}

TEST(CliRun, ACompileErrorExitsOne) {
    const Result r = cli("run --simulate", "Start\nJump 3\n");
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("Unidentified element encountered"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
}

TEST(CliRun, NoReplyExitsThree) {
    // A port that opens and never answers: a pseudo-terminal with nobody behind it.
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    const Result r = cli(std::string("run --port ") + name + " --timeout 200", "Start|Stop\n");
    EXPECT_EQ(r.exit, 3) << r.err;
    EXPECT_NE(r.err.find("no reply from"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("within 200 ms"), std::string::npos) << r.err;
    ::close(slave);
    ::close(master);
}

TEST(CliPress, Buttons) {
    const Result ping = cli("press --simulate Ping");
    EXPECT_EQ(ping.exit, 0) << ping.err;
    EXPECT_NE(ping.out.find("[Firmware Version:]"), std::string::npos) << ping.out;
    EXPECT_NE(ping.out.find("[6354 USB Master  ]"), std::string::npos) << ping.out;

    const Result fast = cli("press --simulate Fast");
    EXPECT_EQ(fast.exit, 0) << fast.err;
    EXPECT_NE(fast.out.find("[Speed set Fast=400k]"), std::string::npos) << fast.out;

    const Result edge = cli("press --simulate 'H>L'");
    EXPECT_NE(edge.out.find("[Edge = High-to-Low ]"), std::string::npos) << edge.out;
}

TEST(CliPorts, BadArguments) {
    struct Row {
        const char* args;
        const char* says;
    } rows[] = {
        {"press --simulate Jump", "no button 'Jump'"},
        {"press --simulate", "name one BUTTON"},
        {"run", "--port NAME is required"},
        {"run --simulate --timeout soon", "--timeout takes milliseconds"},
        {"ports --fast", "unknown option '--fast'"},
    };
    for (const Row& row : rows) {
        const Result r = cli(row.args);
        EXPECT_EQ(r.exit, 2) << row.args;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << row.args << ": " << r.err;
    }
}

TEST(CliPorts, AMissingPortIsASerialFailure) {
    const Result r = cli("press --port COM998 Ping");
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("PortSelect error"), std::string::npos) << r.err;
}

}  // namespace
