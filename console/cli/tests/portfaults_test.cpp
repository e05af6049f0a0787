// sarnel-cli on ports that misbehave: a reply behind a long run without a line feed, and ports
// that do not open.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sim/simulator.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "cli_support.h"

namespace {

using namespace clitest;

TEST(CliRun, AReplyBehindALongRunWithoutALineFeedIsDecoded) {
    // More noise than the receive queue holds, then the reply and its line feed.
    sim::Adapter adapter;
    sim::FaultTuning tuning;
    tuning.garbageBytes = 9000;
    adapter.setFaultTuning(tuning);
    adapter.setFault(sim::Fault::Garbage);
    const Result r = cli("run --port " + adapter.devicePath() + " --timeout 5000", "Start|Write 0x90|Stop\n");
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("WRITE\t0x90\tAck"), std::string::npos) << r.out;
}

TEST(CliRun, APortThatDoesNotOpenSaysWhy) {
    const Result missing = cli("run --port /dev/ttyNONE7", "Start|Stop\n");
    EXPECT_EQ(missing.exit, 1);
    EXPECT_NE(missing.err.find("0x80040205"), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("rescan the ports.\n\n/dev/ttyNONE7: no such device."), std::string::npos)
        << missing.err;

    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    ASSERT_EQ(::flock(slave, LOCK_EX | LOCK_NB), 0);  // held by another program
    const Result busy = cli(std::string("run --port ") + name, "Start|Stop\n");
    EXPECT_EQ(busy.exit, 1);
    EXPECT_NE(busy.err.find(std::string(name) + ": busy (already in use)."), std::string::npos) << busy.err;
    ::close(slave);
    ::close(master);
}

}  // namespace
