// Port information: the system's source on whatever this machine has, the fake's look-ups,
// and which serial numbers can be kept.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <serial/names.h>
#include <serial/portinfo.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

using namespace serial;

namespace {

TEST(PortInfo, TheSystemListsDeviceNodesAndNeverTerminalsWithoutADevice) {
    auto system = systemPortInfo();
    for (const PortInfo& p : system->devices()) {
        EXPECT_EQ(p.path.rfind("/dev/", 0), 0u) << p.path;
        EXPECT_NE(p.path, "/dev/tty");
        EXPECT_NE(p.path, "/dev/console");
        if (p.usb) {
            EXPECT_EQ(p.vendorId.size(), 4u) << p.path;
        }
        // Looked up by its path, a device describes itself the same way.
        const std::optional<PortInfo> again = system->device(p.path);
        ASSERT_TRUE(again) << p.path;
        EXPECT_EQ(again->serial, p.serial);
    }
    EXPECT_FALSE(system->device("/dev/null"));
    EXPECT_FALSE(system->device("/nonexistent"));
    // A pseudo-terminal is no serial port of the system's.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ::grantpt(master);
    ::unlockpt(master);
    EXPECT_FALSE(system->device(::ptsname(master)));
    ::close(master);
}

TEST(PortInfo, TheFakeFindsADeviceByALinkToIt) {
    const auto dir = std::filesystem::temp_directory_path() / ("portinfo-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    FakePortInfo fake;
    PortInfo p;
    p.path = "/dev/null";
    p.serial = "S";
    fake.ports = {p};
    std::filesystem::create_symlink("/dev/null", dir / "COM3");
    EXPECT_EQ(fake.device((dir / "COM3").string())->serial, "S");
    NameSettings settings;
    settings.portDir = dir.string();
    settings.info = &fake;
    EXPECT_EQ(portInfo("COM3", settings)->serial, "S");
    EXPECT_FALSE(portInfo("COM4", settings));
    std::filesystem::remove_all(dir);
}

TEST(PortInfo, SerialNumbersAreKeptAsOneLineOfText) {
    EXPECT_EQ(cleanSerial("  A12345XY \t"), "A12345XY");
    EXPECT_EQ(cleanSerial("FT 2232"), "FT 2232");
    EXPECT_EQ(cleanSerial("   "), "");
    EXPECT_EQ(cleanSerial("A\n1"), "");
    EXPECT_EQ(cleanSerial(std::string("A\0"
                                      "1",
                                      3)),
              "");
    EXPECT_EQ(cleanSerial("\x7f"), "");
    EXPECT_EQ((UsbIdentity{"0403", "6001", "00", "A1"}).text(), "0403:6001 00 A1");
}

}  // namespace
