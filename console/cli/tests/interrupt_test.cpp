// Ctrl-C and SIGTERM during sarnel-cli's port commands: flash ends the run as the window's
// Cancel does and prints its summary; run and press stop waiting; each exits with 128 + the
// signal's number.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>

#include "cli_support.h"
#include "console/bootloader/tests/hexgen_support.h"
#include "fakeadapter_support.h"

namespace {

using namespace clitest;
using namespace std::chrono_literals;

std::string hexfile(const std::string& name, const std::vector<std::string>& lines) {
    const std::string path = scratch() + "/" + name;
    std::ofstream out(path, std::ios::binary);
    for (const std::string& l : lines) out << l << "\n";
    return path;
}

// A bootloader that enters and erases at once and takes 10 ms a line.
std::vector<Piece> slowBootloader(const std::string& frame) {
    if (frame == "$00FF5A3C") return {{0ms, "!Bb\r\n"}};
    if (frame == "$E") return {{0ms, "!Be\r\n"}};
    return {{10ms, "!Ba\r\n"}};
}

TEST(CliInterrupt, CtrlCDuringAFlashEndsTheRunAsCancel) {
    FakeAdapter adapter(slowBootloader);
    const boottest::HexImage image = boottest::makeimage(600, 0x8000);
    Started flash = start("flash --from-app --port " + adapter.path() + " " + hexfile("i.hex", image.lines));
    ASSERT_TRUE(adapter.waitForFrames(40, 10s));
    ::kill(flash.pid, SIGINT);
    const Result r = finish(flash, 5s);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exit, 130) << r.err;
    EXPECT_NE(r.err.find("interrupted (SIGINT)"), std::string::npos) << r.err;
    // The summary: the interrupt counted and logged, the time taken shown.
    EXPECT_NE(r.out.find("Errors       1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Completion   0\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Time         ---"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Error log (newest first):\n  01  -  User interrupt\n"), std::string::npos) << r.out;
    // No line went out after the run ended.
    const std::size_t sent = adapter.frames().size();
    EXPECT_LT(sent, image.lines.size() + 2);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(adapter.frames().size(), sent);
}

TEST(CliInterrupt, SigtermWhileWaitingForTheBootloader) {
    FakeAdapter silent([](const std::string&) { return std::vector<Piece>{}; });
    Started flash =
        start("flash --from-app --port " + silent.path() + " " + hexfile("t.hex", {":00000001FF"}));
    ASSERT_TRUE(silent.waitForFrames(1, 10s));
    const auto sent = std::chrono::steady_clock::now();
    ::kill(flash.pid, SIGTERM);
    const Result r = finish(flash, 5s);
    // Well before the entry's 5 s limit.
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 2s);
    EXPECT_EQ(r.exit, 143) << r.err;
    EXPECT_NE(r.out.find("Errors       1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("User abort"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("interrupted (SIGTERM)"), std::string::npos) << r.err;
    EXPECT_EQ(silent.frames(), std::vector<std::string>{"$00FF5A3C"}) << "no erase after the interrupt";
}

TEST(CliInterrupt, RunAndPressStopWaiting) {
    FakeAdapter silent([](const std::string&) { return std::vector<Piece>{}; });
    struct Row {
        std::string args;
        int signal;
        int status;
    } rows[] = {
        {"run --timeout 60000 --port " + silent.path(), SIGINT, 130},
        {"press --timeout 60000 --port " + silent.path() + " Fast", SIGTERM, 143},
    };
    std::size_t frames = 0;
    for (const Row& row : rows) {
        Started started = start(row.args, "Start|Stop\n");
        ASSERT_TRUE(silent.waitForFrames(++frames, 10s)) << row.args;
        const auto sent = std::chrono::steady_clock::now();
        ::kill(started.pid, row.signal);
        const Result r = finish(started, 5s);
        EXPECT_LT(std::chrono::steady_clock::now() - sent, 2s) << row.args;
        EXPECT_EQ(r.signal, 0) << row.args;
        EXPECT_EQ(r.exit, row.status) << row.args << ": " << r.err;
        EXPECT_NE(r.err.find("interrupted"), std::string::npos) << r.err;
    }
}

}  // namespace
