#include "console/responses/portscan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "console/base/tests/fakeserial_support.h"

namespace sarnel {
namespace {

using testing::FakeBus;
using testing::FakeSerial;

class PortScan : public ::testing::Test {
protected:
    PortTable scan(const std::string& expectedReplies, std::int16_t maxport = 20) {
        PortTable table;
        std::string expected = expectedReplies;
        std::string settings = kPortSettings;
        scanner.portscan(table, expected, settings, maxport);
        return table;
    }
    std::vector<std::string> listed(const PortTable& table) {
        std::vector<std::string> names;
        for (int i = 1; i <= portcount(table); ++i) names.push_back(table[static_cast<std::size_t>(i)]);
        return names;
    }

    testing::ApartmentScope apartment;
    FakeBus bus;
    int made = 0;
    ConsoleState state;
    PortScanner scanner{state, [this] {
                            ++made;
                            return std::make_unique<FakeSerial>(bus);
                        }};
};

TEST_F(PortScan, ListsAdaptersOrEveryPortThatOpens) {
    bus.ports["COM1"];  // an unrelated device: opens, never answers
    bus.adapter("COM3", "!0000015300");
    PortTable forAdapters = scan(kAdapterReplies);
    EXPECT_EQ(listed(forAdapters), (std::vector<std::string>{"COM3"}));
    EXPECT_EQ(forAdapters[0], " 1");
    EXPECT_EQ(bus.ports["COM1"].frames.size(), 5u);  // five attempts for a silent port
    EXPECT_EQ(bus.ports["COM3"].frames.size(), 1u);  // found after the first

    PortTable all = scan("");
    EXPECT_EQ(listed(all), (std::vector<std::string>{"COM1", "COM3"}));
    EXPECT_TRUE(bus.ports["COM3"].frames.size() == 1u) << "nothing is sent when every port is listed";
    EXPECT_EQ(made, 1) << "the scanner keeps one control";
}

TEST_F(PortScan, IdentificationRules) {
    bus.adapter("COM4");
    bus.adapter("COM7", "!0000015300");
    bus.adapter("COM9", "!0000022601");  // positions 9-10 are not "00"
    // The reply may sit among other text.
    bus.ports["COM11"].respond = [](const std::string&) {
        return std::string("noise\n!0016\r\n!0000022600xx\r\n");
    };
    bus.adapter("COM12", "!0000022600|!0000015300");  // carries both texts: listed once
    EXPECT_EQ(listed(scan(kAdapterReplies)), (std::vector<std::string>{"COM4", "COM7", "COM11", "COM12"}));
    EXPECT_EQ(listed(scan("")), (std::vector<std::string>{"COM4", "COM7", "COM9", "COM11", "COM12"}));
}

TEST_F(PortScan, NothingFound) {
    PortTable table = scan(kAdapterReplies);
    EXPECT_EQ(table[0], "");
    EXPECT_EQ(portcount(table), 0);
}

TEST_F(PortScan, DefaultsForLimitAndSettings) {
    PortTable table;
    std::string expected, settings;
    std::int16_t maxport = 0;
    scanner.portscan(table, expected, settings, maxport);
    EXPECT_EQ(maxport, 1000);
    EXPECT_EQ(settings, "115200,n,8,1");
    ASSERT_EQ(bus.openAttempts.size(), 999u);
    EXPECT_EQ(bus.openAttempts.front(), "COM1");
    EXPECT_EQ(bus.openAttempts.back(), "COM999");
    EXPECT_TRUE(std::all_of(bus.openSettings.begin(), bus.openSettings.end(),
                            [](const std::string& s) { return s == "115200,n,8,1"; }));
}

TEST_F(PortScan, APortThatFailsMidProbe) {
    // Its reply arrived before the write failed: listed.
    testing::FakePort& answered = bus.adapter("COM2");
    answered.respond = [&answered](const std::string& frame) {
        answered.failWrites = true;
        return testing::adapterReply(frame);
    };
    // Fails on the first write: skipped, and the scan goes on.
    bus.adapter("COM5").failWrites = true;
    bus.adapter("COM6");
    EXPECT_EQ(listed(scan(kAdapterReplies)), (std::vector<std::string>{"COM2", "COM6"}));
}

TEST_F(PortScan, ABusyPortIsSkippedAndClosedPortsAreNamed) {
    bus.adapter("COM33").failOpen = true;
    bus.adapter("COM34");
    scanner.setPermissionCheck([](const std::string& path) { return path == "/dev/ttyUSB0"; });
    const char* old = std::getenv("VESKOR_PORT_DIR");
    ::unsetenv("VESKOR_PORT_DIR");
    ScanRequest request;
    request.expected = kAdapterReplies;
    request.maxport = 40;
    const ScanResult result = scanner.scan(request);
    ASSERT_EQ(result.ports.size(), 1u);
    EXPECT_EQ(result.ports[0].name, "COM34");
    if (old) ::setenv("VESKOR_PORT_DIR", old, 1);
    ASSERT_EQ(result.denied.size(), 1u);
    EXPECT_EQ(result.denied[0].name, "COM33");
    EXPECT_EQ(result.denied[0].path, "/dev/ttyUSB0");
    const std::string message = deniedmessage(result.denied);
    EXPECT_NE(message.find("COM33 (/dev/ttyUSB0)"), std::string::npos) << message;
    EXPECT_EQ(deniedmessage({}), "");
}

TEST(DeniedMessage, NamesThePortsAndTheFix) {
    const DeniedPort usb{"COM33", "/dev/ttyUSB0", "dialout"};
    const DeniedPort closed{"COM1", "/dev/ttyS0", ""};
    struct Row {
        std::vector<DeniedPort> denied;
        std::vector<std::string> says;
    } rows[] = {
        {{usb},
         {"COM33 (/dev/ttyUSB0)", "group that owns the device (dialout)", "sudo usermod -aG dialout $USER"}},
        {{closed}, {"COM1 (/dev/ttyS0)", "Ask for read and write access"}},
        {{closed, usb}, {"COM1 (/dev/ttyS0), COM33 (/dev/ttyUSB0)", "usermod -aG dialout"}},
        {{usb, usb, usb, usb, usb, usb}, {"and 2 more"}},
    };
    for (const Row& r : rows) {
        const std::string message = deniedmessage(r.denied);
        for (const std::string& s : r.says)
            EXPECT_NE(message.find(s), std::string::npos) << s << " in " << message;
    }
}

TEST_F(PortScan, ReportsTheDevicePathOfEachPortListed) {
    bus.adapter("COM3").path = "/dev/pts/9";
    ScanRequest request;
    request.expected = kAdapterReplies;
    request.maxport = 20;
    const ScanResult result = scanner.scan(request);
    ASSERT_EQ(result.ports.size(), 1u) << "COM4 is not listed";
    EXPECT_EQ(result.ports[0].name, "COM3");
    EXPECT_EQ(result.ports[0].path, "/dev/pts/9");
}

}  // namespace
}  // namespace sarnel
