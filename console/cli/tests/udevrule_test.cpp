// sarnel-cli udev-rule: the rule it prints, and what it says when there is nothing to write
// one for.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "cli_support.h"

namespace {

using namespace clitest;

TEST(CliUdevRule, PrintsAUaccessRuleForTheIdsBelowTheSeatRules) {
    const Result r = cli("udev-rule --ids 04D8:000A");
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("SUBSYSTEM==\"tty\", SUBSYSTEMS==\"usb\", ATTRS{idVendor}==\"04d8\", "
                         "ATTRS{idProduct}==\"000a\", TAG+=\"uaccess\"\n"),
              std::string::npos)
        << r.out;
    // The file name the output names, the install and the reload, each runnable as printed.
    EXPECT_NE(r.out.find("# /etc/udev/rules.d/71-sarnel-04d8-000a.rules\n"), std::string::npos) << r.out;
    EXPECT_NE(
        r.out.find(
            "sarnel-cli udev-rule --ids 04d8:000a | sudo tee /etc/udev/rules.d/71-sarnel-04d8-000a.rules"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("sudo udevadm control --reload-rules"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("sudo udevadm trigger --subsystem-match=tty --action=change"), std::string::npos);
    // Every line but the rule is a comment: the output is the file.
    std::size_t rules = 0;
    for (std::size_t at = 0; at < r.out.size();) {
        const std::size_t end = r.out.find('\n', at);
        const std::string line = r.out.substr(at, end - at);
        if (!line.empty() && line[0] != '#') ++rules;
        at = end + 1;
    }
    EXPECT_EQ(rules, 1u) << r.out;
}

TEST(CliUdevRule, RefusesWhatItCannotWriteARuleFor) {
    EXPECT_EQ(cli("udev-rule --ids 04d8").exit, 2);
    EXPECT_EQ(cli("udev-rule --ids 04d8:00g0").exit, 2);
    EXPECT_EQ(cli("udev-rule --port").exit, 2);
    EXPECT_EQ(cli("udev-rule --port COM3 --ids 04d8:000a").exit, 2);
    EXPECT_EQ(cli("udev-rule extra").exit, 2);

    // A pseudo-terminal is no USB device: nothing to match by ids.
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    const Result pty = cli(std::string("udev-rule --port ") + name);
    EXPECT_EQ(pty.exit, 1);
    EXPECT_NE(pty.err.find(name), std::string::npos) << pty.err;
    EXPECT_TRUE(pty.out.empty()) << pty.out;
    ::close(slave);
    ::close(master);

    const Result gone = cli("udev-rule --port /dev/ttyUSB31");
    EXPECT_EQ(gone.exit, 1);
    EXPECT_NE(gone.err.find("plugged in"), std::string::npos) << gone.err;
}

}  // namespace
