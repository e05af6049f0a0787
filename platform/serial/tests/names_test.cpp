// Where port names lead: the port folder, device paths, the fixed table; and the group that
// may open a device.
#include <grp.h>
#include <gtest/gtest.h>
#include <serial/names.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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
    const NameSettings settings{folder.dir.string()};

    // The link is followed to the device, so that listings name the device itself.
    EXPECT_EQ(resolvePort("COM5", settings).path, (folder.dir / "device").string());
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

}  // namespace
