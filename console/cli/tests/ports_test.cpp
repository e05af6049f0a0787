// sarnel-cli ports, run and press against a simulated adapter, an adapter played by the test,
// and a silent port.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "cli_support.h"
#include "fakeadapter_support.h"

namespace {

using namespace clitest;

TEST(CliPorts, FindsTheSimulatedAdapter) {
    const Result r = cli("ports --simulate");
    EXPECT_EQ(r.exit, 0) << r.err;
    // A header, then one line; a pseudo-terminal: the system knows nothing more than its path.
    EXPECT_TRUE(std::regex_match(r.out, std::regex("PORT +DEVICE +BY-ID +PRODUCT +SERIAL +ADAPTER\n"
                                                   "COM3 +/dev/pts/[0-9]+ +- +- +- +yes\n")))
        << r.out;
}

// The adapter as COMn of a port folder, another port that opens but never answers beside it.
TEST(CliPorts, JsonSaysWhichPortsAnsweredAsAnAdapter) {
    FakeAdapter adapter([](const std::string& frame) {
        return frame == "$0000" ? std::vector<Piece>{{{}, "!000002260005\r\n"}} : std::vector<Piece>{};
    });
    FakeAdapter silent([](const std::string&) { return std::vector<Piece>{}; });
    const std::string folder = scratch() + "/ports-json";
    ::mkdir(folder.c_str(), 0700);
    ::unlink((folder + "/COM5").c_str());
    ::unlink((folder + "/COM6").c_str());
    ASSERT_EQ(::symlink(adapter.path().c_str(), (folder + "/COM5").c_str()), 0);
    ASSERT_EQ(::symlink(silent.path().c_str(), (folder + "/COM6").c_str()), 0);
    ::setenv("VESKOR_PORT_DIR", folder.c_str(), 1);
    const Result some = cli("ports --json");
    const Result all = cli("ports --all --json");
    ::unsetenv("VESKOR_PORT_DIR");
    ASSERT_EQ(some.exit, 0) << some.err;
    ASSERT_EQ(all.exit, 0) << all.err;

    auto find = [](const nlohmann::json& list, const std::string& name) {
        for (const nlohmann::json& port : list) {
            if (port.at("name") == name) return port;
        }
        return nlohmann::json();
    };
    const nlohmann::json adapters = nlohmann::json::parse(some.out);
    ASSERT_TRUE(adapters.is_array()) << some.out;
    const nlohmann::json com5 = find(adapters, "COM5");
    ASSERT_FALSE(com5.is_null()) << some.out;
    EXPECT_EQ(com5.at("path"), adapter.path());
    EXPECT_EQ(com5.at("adapter"), true);
    EXPECT_EQ(com5.at("usb"), false);
    EXPECT_TRUE(com5.at("serial").is_null());
    EXPECT_TRUE(com5.at("byId").is_null());
    EXPECT_TRUE(find(adapters, "COM6").is_null()) << "a port that does not answer is no adapter";

    const nlohmann::json every = nlohmann::json::parse(all.out);
    EXPECT_EQ(find(every, "COM5").at("adapter"), true) << all.out;
    EXPECT_EQ(find(every, "COM6").at("adapter"), false) << all.out;
    EXPECT_EQ(find(every, "COM6").at("path"), silent.path());
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

using namespace std::chrono_literals;

// Reports that come before the answer (a reset, an interrupt) are decoded as the window
// decodes them, and the command still waits for the answer to its own frame.
TEST(CliRun, WaitsForTheScriptsReplyBehindReports) {
    FakeAdapter adapter([](const std::string& frame) -> std::vector<Piece> {
        if (frame.rfind("$0010", 0) != 0) return {};
        return {{0ms, "!001A08\r\n"}, {30ms, "!002001\r\n"}, {60ms, "!0010sW90ap\r\n"}};
    });
    const std::string script = "Start|Write 0x90|Stop\n";
    Result r = cli("run --continuous --port " + adapter.path(), script);
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "[Reset:   Power up]\n\n[Int]\t1\nSTART\nWRITE\t0x90\tAck\nSTOP\n");
    // Without --continuous the script's reply empties the list first, as in the window.
    r = cli("run --port " + adapter.path(), script);
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "START\nWRITE\t0x90\tAck\nSTOP\n");
}

TEST(CliPress, WaitsForEachFramesAnswer) {
    FakeAdapter adapter([](const std::string& frame) -> std::vector<Piece> {
        if (frame == "$0000") return {{0ms, "!000002260005\r\n"}};
        if (frame == "$0019") return {{0ms, "!002001\r\n"}, {250ms, "!00193300101\r\n"}};
        return {};
    });
    const Result r = cli("press --port " + adapter.path() + " Ping");
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("[6354 USB Master  ]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[Int]\t1\n[VSlave:  3.300v  ]\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[Edge:    Lo-to-Hi]"), std::string::npos) << r.out;
}

TEST(CliPress, ResetIsAnsweredByTheResetReport) {
    FakeAdapter adapter([](const std::string& frame) -> std::vector<Piece> {
        if (frame == "$0007") return {{20ms, "!001A10\r\n"}};
        return {};
    });
    const Result r = cli("press --port " + adapter.path() + " 'Reset!'");
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "[Reset:   WDT Rset]\n\n");
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
