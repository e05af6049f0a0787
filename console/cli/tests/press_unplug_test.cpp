// sarnel-cli press when the adapter is unplugged between two frames of a button (the far end of
// a pseudo-terminal closes after the first): the alert names the lost device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "cli_support.h"

namespace {

using namespace clitest;

TEST(CliPress, AnUnpluggedAdapterIsReportedAsSuch) {
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    // Ours alone: a copy inherited by sarnel-cli would keep the far end open.
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    // The far end: takes Ping's first frame, then goes away before its second.
    std::thread adapter([master, slave] {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (got.find("$0000\r") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[64];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) got.append(buf, static_cast<std::size_t>(n));
        }
        ::close(slave);
        ::close(master);
    });
    const Result r = cli(std::string("press --port ") + name + " Ping");
    adapter.join();
    EXPECT_EQ(r.exit, 1) << r.err;
    EXPECT_NE(r.err.find("0x80040206"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("If the device was unplugged after the port scan was completed"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("ClearCommError"), std::string::npos) << r.err;
}

}  // namespace
