// Serial devices coming and going, as the watcher reports them: entries of watched folders,
// device nodes in a stand-in for /dev, and a real pseudo-terminal in /dev/pts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <serial/portwatch.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

using namespace serial;
using Kind = PortChange::Kind;

namespace {

struct Folder {
    std::filesystem::path dir;
    explicit Folder(const char* name)
        : dir(std::filesystem::temp_directory_path() /
              (std::string(name) + "-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    ~Folder() { std::filesystem::remove_all(dir); }
};

bool readable(const PortWatcher& w, int ms) {
    pollfd p{w.descriptor(), POLLIN, 0};
    return ::poll(&p, 1, ms) == 1;
}

std::string describe(const std::vector<PortChange>& changes) {
    std::string out;
    for (const PortChange& c : changes)
        out += std::string(c.kind == Kind::added ? "+" : c.kind == Kind::removed ? "-" : "?") + c.path + " ";
    return out;
}

TEST(PortWatcher, ReportsFolderEntriesAndSerialNodesAsTheyComeAndGo) {
    Folder dev("watch-dev");
    Folder ports("watch-ports");
    WatchOptions options;
    options.udev = false;
    options.devFolder = dev.dir.string();
    options.folders = {ports.dir.string()};
    PortWatcher watcher(options);
    EXPECT_EQ(watcher.problem(), "");
    EXPECT_EQ(watcher.method(), "inotify on " + dev.dir.string());
    EXPECT_FALSE(readable(watcher, 0));  // nothing happened: nothing to serve

    for (const char* name : {"ttyUSB0", "tty5", "null", "ttyACM1", "rfcomm0", "tty"})
        std::ofstream(dev.dir / name).put('x');
    std::filesystem::create_symlink("/dev/null", ports.dir / "COM3");
    ASSERT_TRUE(readable(watcher, 1000));
    EXPECT_EQ(describe(watcher.take()),
              "+" + (dev.dir / "ttyUSB0").string() + " +" + (dev.dir / "ttyACM1").string() + " +" +
                  (dev.dir / "rfcomm0").string() + " +" + (ports.dir / "COM3").string() + " ");
    EXPECT_FALSE(readable(watcher, 0));

    std::filesystem::remove(dev.dir / "ttyUSB0");
    std::filesystem::remove(dev.dir / "tty5");
    std::filesystem::rename(ports.dir / "COM3", ports.dir / "COM4");
    ASSERT_TRUE(readable(watcher, 1000));
    EXPECT_EQ(describe(watcher.take()), "-" + (dev.dir / "ttyUSB0").string() + " -" +
                                            (ports.dir / "COM3").string() + " +" +
                                            (ports.dir / "COM4").string() + " ");
}

TEST(PortWatcher, SeesAPseudoTerminalAppearAndItsNodeDisappear) {
    WatchOptions options;
    options.udev = false;
    options.folders = {"/dev/pts"};
    PortWatcher watcher(options);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string path = ::ptsname(master);
    ASSERT_TRUE(readable(watcher, 1000));
    EXPECT_EQ(describe(watcher.take()), "+" + path + " ");
    // Closing the master end is an unplug: the node goes at once.
    ::close(master);
    ASSERT_TRUE(readable(watcher, 1000));
    EXPECT_EQ(describe(watcher.take()), "-" + path + " ");
}

TEST(PortWatcher, AFolderThatCannotBeWatchedIsNamedAndTheRestStillWorks) {
    Folder ports("watch-some");
    WatchOptions options;
    options.udev = false;
    options.devFolder = (ports.dir / "missing").string();
    options.folders = {ports.dir.string()};
    PortWatcher watcher(options);
    EXPECT_NE(watcher.problem().find((ports.dir / "missing").string() + " cannot be watched"),
              std::string::npos)
        << watcher.problem();
    std::ofstream(ports.dir / "COM7").put('x');
    ASSERT_TRUE(readable(watcher, 1000));
    EXPECT_EQ(describe(watcher.take()), "+" + (ports.dir / "COM7").string() + " ");
}

TEST(PortWatcher, TheSystemsWatcherStarts) {
    // udev where its daemon runs, /dev elsewhere; either way it starts and is quiet.
    PortWatcher watcher(systemWatchOptions(""));
    EXPECT_FALSE(watcher.method().empty());
    EXPECT_GE(watcher.descriptor(), 0);
}

}  // namespace
