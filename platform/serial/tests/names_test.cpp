// Where port names lead: the port folder, device paths, numbers kept for USB ports, the fixed
// table; the names present devices answer to; and the group that may open a device.
#include <grp.h>
#include <gtest/gtest.h>
#include <serial/device.h>
#include <serial/names.h>
#include <serial/portmemory.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

using namespace serial;
using Kind = PortTarget::Kind;

namespace {

struct PortFolder {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("serial-names-" + std::to_string(::getpid()));
    PortFolder() {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    ~PortFolder() { std::filesystem::remove_all(dir); }
};

TEST(PortNames, ResolveThroughTheTableOrAsAPath) {
    const NameSettings none;
    const struct {
        const char* name;
        Kind kind;
        const char* path;
    } rows[] = {
        {"COM1", Kind::device, "/dev/ttyS0"},
        {"COM32", Kind::device, "/dev/ttyS31"},
        {"COM33", Kind::device, "/dev/ttyUSB0"},
        {"com64", Kind::device, "/dev/ttyUSB31"},
        {"Com65", Kind::device, "/dev/ttyACM0"},
        {"COM96", Kind::device, "/dev/ttyACM31"},
        {"/dev/pts/3", Kind::device, "/dev/pts/3"},
        {"COM97", Kind::none, "COM97"},
        {"COM999", Kind::none, "COM999"},
        {"COM0", Kind::other, "COM0"},
        {"COM03", Kind::other, "COM03"},
        {"COM1x", Kind::other, "COM1x"},
        {"COM", Kind::other, "COM"},
        {"LPT1", Kind::other, "LPT1"},
        {"PAIR-A", Kind::other, "PAIR-A"},
        {"", Kind::other, ""},
        {"COM1234567890", Kind::other, "COM1234567890"},
    };
    for (const auto& r : rows) {
        const PortTarget t = resolvePort(r.name, none);
        EXPECT_EQ(t.kind, r.kind) << r.name;
        EXPECT_EQ(t.path, r.path) << r.name;
    }
    EXPECT_EQ(comNumber("COM123456789"), 123456789);
}

TEST(PortNames, TheFolderComesFirstAndLeadsToTheDevice) {
    PortFolder folder;
    std::ofstream(folder.dir / "device").put('x');
    std::filesystem::create_symlink(folder.dir / "device", folder.dir / "COM5");
    std::filesystem::create_symlink(folder.dir / "gone", folder.dir / "COM6");
    std::filesystem::create_symlink(folder.dir / "device", folder.dir / "COM1000");
    NameSettings settings;
    settings.portDir = folder.dir.string();

    // The link is followed to the device, so that listings name the device itself.
    EXPECT_EQ(resolvePort("COM5", settings).path, (folder.dir / "device").string());
    EXPECT_EQ(resolvePort("COM5", settings).entry, (folder.dir / "COM5").string());
    EXPECT_EQ(resolvePort("com5", settings).path, (folder.dir / "device").string());
    EXPECT_EQ(resolvePort("COM1000", settings).path, (folder.dir / "device").string());
    // A dangling link: the port existed and its device has gone; opening it says so.
    EXPECT_EQ(resolvePort("COM6", settings).kind, Kind::device);
    EXPECT_EQ(resolvePort("COM6", settings).path, (folder.dir / "COM6").string());
    // Not in the folder: the table.
    EXPECT_EQ(resolvePort("COM4", settings).path, "/dev/ttyS3");
    // Only COM names are looked up there.
    std::ofstream(folder.dir / "PAIR-A").put('x');
    EXPECT_EQ(resolvePort("PAIR-A", settings).kind, Kind::other);
}

PortInfo usbPort(const std::string& path, const std::string& serial,
                 const std::string& product = "6354 USB Master") {
    PortInfo p;
    p.path = path;
    p.usb = true;
    p.vendorId = "04d8";
    p.productId = "000a";
    p.interface = "00";
    p.product = product;
    p.serial = serial;
    return p;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::map<std::string, std::string> namesByPath(const std::vector<NamedPort>& named) {
    std::map<std::string, std::string> out;
    for (const NamedPort& n : named) out[n.info.path] = n.name;
    return out;
}

struct KeptNumbers : ::testing::Test {
    PortFolder state;
    FakePortInfo info;
    NameSettings settings;
    void SetUp() override {
        settings.stateDir = (state.dir / "sarnel").string();
        settings.info = &info;
    }
};

TEST_F(KeptNumbers, AUsbPortKeepsItsNumberWhereverAndInWhateverOrderItComesBack) {
    info.ports = {usbPort("/dev/ttyUSB1", "B2"), usbPort("/dev/ttyUSB0", "A1"), usbPort("/dev/ttyUSB2", ""),
                  PortInfo{"/dev/ttyS0", "", "serial", false, "", "", "", "", "", ""}};
    std::string problem;
    // New numbers go in path order, from above the fixed table.
    EXPECT_EQ(namesByPath(namePorts(settings, &problem)),
              (std::map<std::string, std::string>{{"/dev/ttyUSB0", "COM97"},
                                                  {"/dev/ttyUSB1", "COM98"},
                                                  {"/dev/ttyUSB2", "COM35"},  // no serial number: the table
                                                  {"/dev/ttyS0", "COM1"}}));
    EXPECT_EQ(problem, "");
    EXPECT_EQ(resolvePort("COM97", settings).path, "/dev/ttyUSB0");
    // The table's names no longer lead to a port that has a number of its own, so a scan
    // never lists one device twice; they say where it went.
    EXPECT_EQ(resolvePort("COM33", settings).kind, Kind::none);
    EXPECT_EQ(resolvePort("COM33", settings).ownName, "COM97");
    Failure why;
    EXPECT_FALSE(openDevice(resolvePort("COM33", settings), &why));
    EXPECT_EQ(why.cause(), "COM33: no such device (the port there is COM97 now)");
    EXPECT_EQ(resolvePort("COM35", settings).path, "/dev/ttyUSB2");

    // Plugged in again in another order, at other indexes, one on a CDC driver now.
    info.ports = {usbPort("/dev/ttyUSB0", "B2"), usbPort("/dev/ttyACM3", "A1"),
                  usbPort("/dev/ttyUSB1", "C3")};
    EXPECT_EQ(namesByPath(namePorts(settings, &problem)),
              (std::map<std::string, std::string>{
                  {"/dev/ttyUSB0", "COM98"}, {"/dev/ttyACM3", "COM97"}, {"/dev/ttyUSB1", "COM99"}}));
    EXPECT_EQ(resolvePort("COM97", settings).path, "/dev/ttyACM3");
    EXPECT_EQ(resolvePort("COM98", settings).path, "/dev/ttyUSB0");

    // Gone: its number leads nowhere and is not given to another port.
    info.ports = {usbPort("/dev/ttyUSB0", "D4")};
    EXPECT_EQ(resolvePort("COM97", settings).kind, Kind::none);
    EXPECT_EQ(namePorts(settings).front().name, "COM100");
    // A path and the port folder still come first.
    EXPECT_EQ(resolvePort("/dev/ttyUSB0", settings).path, "/dev/ttyUSB0");
}

TEST_F(KeptNumbers, TwoPortsReportingOneIdentityShareNoName) {
    // Cheap converters that all report the same serial number: the first keeps the number,
    // the other keeps its table name, and each has a name that reaches it.
    info.ports = {usbPort("/dev/ttyUSB0", "0001"), usbPort("/dev/ttyUSB1", "0001")};
    EXPECT_EQ(namesByPath(namePorts(settings)),
              (std::map<std::string, std::string>{{"/dev/ttyUSB0", "COM97"}, {"/dev/ttyUSB1", "COM34"}}));
    EXPECT_EQ(resolvePort("COM97", settings).path, "/dev/ttyUSB0");
    EXPECT_EQ(resolvePort("COM34", settings).path, "/dev/ttyUSB1");
    EXPECT_EQ(resolvePort("COM33", settings).kind, Kind::none);
}

TEST_F(KeptNumbers, TwoPortsOfOneDeviceAreTwoInterfaces) {
    PortInfo a = usbPort("/dev/ttyUSB0", "FT2232");
    PortInfo b = usbPort("/dev/ttyUSB1", "FT2232");
    b.interface = "01";
    info.ports = {a, b};
    EXPECT_EQ(namesByPath(namePorts(settings)),
              (std::map<std::string, std::string>{{"/dev/ttyUSB0", "COM97"}, {"/dev/ttyUSB1", "COM98"}}));
}

TEST_F(KeptNumbers, WithoutAFileOrAPlaceForOneTheTableHolds) {
    info.ports = {usbPort("/dev/ttyUSB0", "A1")};
    settings.stateDir.clear();
    EXPECT_EQ(namePorts(settings).front().name, "COM33");
    EXPECT_EQ(resolvePort("COM33", settings).path, "/dev/ttyUSB0");

    // A place that cannot be made (a file where the folder should be): said, and no number.
    std::ofstream(state.dir / "file").put('x');
    settings.stateDir = (state.dir / "file" / "sarnel").string();
    std::string problem;
    EXPECT_EQ(namePorts(settings, &problem).front().name, "COM33");
    EXPECT_NE(problem.find("cannot be made"), std::string::npos) << problem;
    EXPECT_EQ(resolvePort("COM33", settings).path, "/dev/ttyUSB0");
}

TEST_F(KeptNumbers, ADamagedFileIsReportedAndKeptByteForByte) {
    std::filesystem::create_directories(settings.stateDir);
    const std::string damaged = "COM97 04d8:000a 00 A1\nCOM97 04d8:000a 00 B2\n";
    std::ofstream(PortMemory::path(settings.stateDir), std::ios::binary) << damaged;
    info.ports = {usbPort("/dev/ttyUSB0", "A1"), usbPort("/dev/ttyUSB1", "C3")};
    std::string problem;
    const auto named = namesByPath(namePorts(settings, &problem));
    EXPECT_NE(problem.find("line 2: COM97 is given twice"), std::string::npos) << problem;
    EXPECT_NE(problem.find("kept as it is"), std::string::npos) << problem;
    EXPECT_EQ(readFile(PortMemory::path(settings.stateDir)), damaged);
    // Nothing of a damaged file is trusted: the new port keeps its table name.
    EXPECT_EQ(named.at("/dev/ttyUSB1"), "COM34");
}

TEST_F(KeptNumbers, AReadOnlyFileIsReadAndNeverWritten) {
    std::filesystem::create_directories(settings.stateDir);
    const std::string file = PortMemory::path(settings.stateDir);
    const std::string kept = "# mine\nCOM120 04d8:000a 00 A1\n";
    std::ofstream(file, std::ios::binary) << kept;
    ::chmod(file.c_str(), 0444);
    info.ports = {usbPort("/dev/ttyUSB0", "A1"), usbPort("/dev/ttyUSB1", "C3")};
    std::string problem;
    const auto named = namesByPath(namePorts(settings, &problem));
    EXPECT_EQ(named.at("/dev/ttyUSB0"), "COM120");  // what it holds still counts
    EXPECT_EQ(named.at("/dev/ttyUSB1"), "COM34");   // no new number
    EXPECT_NE(problem.find("read-only"), std::string::npos) << problem;
    EXPECT_EQ(readFile(file), kept);
    EXPECT_EQ(resolvePort("COM120", settings).path, "/dev/ttyUSB0");
}

TEST(AccessGroup, NamesAGroupOnlyWhenMembershipWouldHelp) {
    PortFolder folder;
    const std::string file = (folder.dir / "device").string();
    std::ofstream(file).put('x');
    ::chmod(file.c_str(), 0660);
    ASSERT_EQ(::chown(file.c_str(), static_cast<uid_t>(-1), 0), ::geteuid() == 0 ? 0 : -1);
    if (::geteuid() == 0) {
        EXPECT_EQ(accessGroup(file), "");  // root's group never helps
    }
    // A group of our own (root may hand the file to any group).
    const group* g = ::geteuid() == 0 ? ::getgrnam("dialout") : ::getgrgid(::getegid());
    ASSERT_NE(g, nullptr);
    const std::string name = g->gr_name;
    ASSERT_EQ(::chown(file.c_str(), static_cast<uid_t>(-1), g->gr_gid), 0);
    if (g->gr_gid != 0) {
        EXPECT_EQ(accessGroup(file), name);
    }
    ::chmod(file.c_str(), 0620);  // the group may only write (as pseudo-terminals have it)
    EXPECT_EQ(accessGroup(file), "");
    EXPECT_EQ(accessGroup((folder.dir / "missing").string()), "");
}

TEST(PortNames, RemotePortsByAddressByFolderFileAndByNumber) {
    PortFolder folder;
    std::ofstream(folder.dir / "COM7") << "  rfc2217://bench7:4001 \r\n";
    std::ofstream(folder.dir / "ports") << "COM200 socket://127.0.0.1:7000\n";
    NameSettings settings;
    settings.portDir = folder.dir.string();
    settings.stateDir = folder.dir.string();
    FakePortInfo none;
    settings.info = &none;

    PortTarget t = resolvePort("rfc2217://lab:1", settings);
    EXPECT_EQ(t.kind, Kind::remote);
    EXPECT_EQ(t.path, "rfc2217://lab:1");
    t = resolvePort("COM7", settings);
    EXPECT_EQ(t.kind, Kind::remote);
    EXPECT_EQ(t.path, "rfc2217://bench7:4001");
    EXPECT_EQ(t.entry, (folder.dir / "COM7").string());
    t = resolvePort("com200", settings);
    EXPECT_EQ(t.kind, Kind::remote);
    EXPECT_EQ(t.path, "socket://127.0.0.1:7000");
    // A folder file that holds no address is what it was before: the entry itself.
    std::ofstream(folder.dir / "COM8") << "not an address\n";
    EXPECT_EQ(resolvePort("COM8", settings).kind, Kind::device);
}

}  // namespace
