// The per-user file of port names: what it accepts, what it refuses as damaged, and that every
// update keeps what it does not change.
#include <gtest/gtest.h>
#include <serial/portmemory.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace serial;

namespace {

const UsbIdentity kA{"04d8", "000a", "00", "A1"};
const UsbIdentity kB{"0403", "6001", "01", "FT 2232 H"};

struct Folder {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("portmemory-" + std::to_string(::getpid()));
    Folder() {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    ~Folder() { std::filesystem::remove_all(dir); }
    std::string file() const { return PortMemory::path(dir.string()); }
    std::string text() const {
        std::ifstream in(file(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST(PortMemory, ReadsWhatItWritesWithCommentsAndOddSpacing) {
    const PortMemory m = PortMemory::parse(
        "# kept by hand\r\n"
        "\n"
        "COM97 04D8:000A 00 A1\r\n"
        "  com98\t0403:6001   01   FT 2232 H  \n"
        "last usb 0403:6001 01 FT 2232 H\n",
        "ports");
    EXPECT_EQ(m.problem(), "");
    EXPECT_EQ(m.number(kA), 97);  // ids are compared in lower case
    EXPECT_EQ(m.number(kB), 98);  // a serial number may hold blanks
    ASSERT_NE(m.identity(98), nullptr);
    EXPECT_EQ(*m.identity(98), kB);
    EXPECT_EQ(m.identity(99), nullptr);
    EXPECT_EQ(m.last().identity, kB);

    const PortMemory path = PortMemory::parse("last path /dev/ttyS0\n", "ports");
    EXPECT_EQ(path.last().path, "/dev/ttyS0");
    EXPECT_TRUE(path.last().identity.serial.empty());
}

TEST(PortMemory, RefusesWhatItCannotReadWhole) {
    const struct {
        std::string text;
        const char* why;
    } cases[] = {
        {"COM97 04d8:000a 00\n", "line 1: the serial number is missing"},
        {"COM97 04d8-000a 00 A1\n", "USB ids"},
        {"COM97 04d8:000a 0 A1\n", "interface number"},
        {"COM97 04d8:000a 00 A1\nCOM97 0403:6001 01 B\n", "line 2: COM97 is given twice"},
        {"COM97 04d8:000a 00 A1\nCOM98 04d8:000a 00 A1\n", "has two numbers"},
        {"COM1000 04d8:000a 00 A1\n", "beyond COM999"},
        {"COM097 04d8:000a 00 A1\n", "neither a COM name"},
        {"last path /a\nlast path /b\n", "second \"last\""},
        {"last path relative\n", "absolute path"},
        {"last serial A1\n", "neither \"usb\" nor \"path\""},
        {std::string("COM97 04d8:000a 00 A\0"
                     "1\n",
                     23),
         "NUL"},
        {"COM97 04d8:000a 00 A\x01"
         "1\n",
         "serial number is missing"},
        {"COM5 rfc2217://bench7:4001\n", "COM5 is a local port's number; remote ports take COM97 to COM999"},
        {"COM200 rfc2217://bench7\n", "not a remote port's address"},
        {"COM200 socket://a:1 socket://b:2\n", "more than one address"},
        {"COM200 socket://a:1\nCOM200 04d8:000a 00 A1\n", "line 2: COM200 is given twice"},
    };
    for (const auto& c : cases) {
        const PortMemory m = PortMemory::parse(c.text, "/home/ann/.config/sarnel/ports");
        EXPECT_TRUE(m.damaged()) << c.text;
        EXPECT_NE(m.problem().find(c.why), std::string::npos) << c.text << "\n -> " << m.problem();
        EXPECT_EQ(m.problem().rfind("/home/ann/.config/sarnel/ports, line ", 0), 0u) << m.problem();
    }
}

TEST(PortMemory, AssignsTheLowestFreeNumberAndKeepsEveryOtherLine) {
    PortMemory m =
        PortMemory::parse("# mine\nCOM98 0403:6001 01 FT 2232 H\nlast path /dev/ttyS0\n# end\n", "ports");
    EXPECT_EQ(m.assign(kA), 97);
    EXPECT_EQ(m.assign(kA), 97);  // once only
    EXPECT_EQ(m.assign({"1a86", "7523", "00", "X"}), 99);
    m.setLast({kA, ""});
    EXPECT_EQ(m.text(),
              "# mine\nCOM98 0403:6001 01 FT 2232 H\nCOM97 04d8:000a 00 A1\nCOM99 1a86:7523 00 X\n"
              "last usb 04d8:000a 00 A1\n# end\n");
    // What it writes, it reads back the same.
    const PortMemory again = PortMemory::parse(m.text(), "ports");
    EXPECT_EQ(again.problem(), "");
    EXPECT_EQ(again.text(), m.text());
    m.setLast({});
    EXPECT_EQ(m.text().find("last"), std::string::npos);

    PortMemory full;
    for (int n = PortMemory::kFirstNumber; n <= PortMemory::kLastNumber; ++n)
        EXPECT_EQ(full.assign({"0000", "0000", "00", std::to_string(n)}), n);
    EXPECT_EQ(full.assign(kA), 0);  // every number taken
}

TEST(PortMemory, UpdatesReplaceTheFileWholeAndOnlyWhenItIsSound) {
    Folder folder;
    const std::string dir = (folder.dir / "new" / "sarnel").string();
    std::string problem;
    // Missing: made, with its folder, readable by the user alone.
    ASSERT_TRUE(updatePortMemory(
        dir, [](PortMemory& m) { return m.assign(kA) != 0; }, &problem))
        << problem;
    struct stat st {};
    ASSERT_EQ(::stat(PortMemory::path(dir).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(PortMemory::read(dir).number(kA), 97);
    // Nothing left behind but the file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);

    // Damaged: untouched, and the change is not made.
    std::ofstream(folder.file(), std::ios::binary) << "COM97 nonsense\n";
    bool called = false;
    EXPECT_FALSE(updatePortMemory(
        folder.dir.string(), [&](PortMemory&) { return called = true; }, &problem));
    EXPECT_FALSE(called);
    EXPECT_NE(problem.find("line 1"), std::string::npos) << problem;
    EXPECT_EQ(folder.text(), "COM97 nonsense\n");

    // Not a file at all.
    std::filesystem::remove(folder.file());
    std::filesystem::create_directory(folder.file());
    EXPECT_TRUE(PortMemory::read(folder.dir.string()).damaged());
    EXPECT_FALSE(updatePortMemory(
        folder.dir.string(), [](PortMemory& m) { return m.assign(kA) != 0; }, &problem));
    EXPECT_TRUE(std::filesystem::is_directory(folder.file()));
}

TEST(PortMemory, TwoProgramsNumberingAtOnceLoseNothing) {
    // Each update reads, changes and renames under the folder's lock: without it, one of two
    // writers would overwrite the other's numbers.
    Folder folder;
    const std::string dir = folder.dir.string();
    auto number = [&](char who) {
        for (int i = 0; i < 40; ++i) {
            const UsbIdentity id{"0403", "6001", "00", std::string(1, who) + std::to_string(i)};
            updatePortMemory(
                dir, [&](PortMemory& m) { return m.assign(id) != 0; }, nullptr);
        }
    };
    std::thread a(number, 'a');
    std::thread b(number, 'b');
    a.join();
    b.join();
    const PortMemory m = PortMemory::read(dir);
    EXPECT_EQ(m.problem(), "");
    for (int n = 97; n < 97 + 80; ++n) EXPECT_NE(m.identity(n), nullptr) << n;
    EXPECT_EQ(m.identity(97 + 80), nullptr);
}

// Remote ports named by hand share the numbers: a new USB port never takes one of theirs.
TEST(PortMemory, RemotePortsKeepTheirNumbers) {
    PortMemory m = PortMemory::parse("COM97 rfc2217://bench7:4001\nCOM98 SOCKET://[::1]:7000\n", "ports");
    ASSERT_FALSE(m.damaged()) << m.problem();
    ASSERT_TRUE(m.remote(97));
    EXPECT_EQ(*m.remote(97), "rfc2217://bench7:4001");
    EXPECT_EQ(m.identity(97), nullptr);
    EXPECT_EQ(m.remote(99), nullptr);
    EXPECT_EQ(m.assign({"04d8", "000a", "00", "A1"}), 99);
}

TEST(PortMemory, RemotePortsWithoutANumberTakeTheLowestNoLineNames) {
    // The bare address comes first in the file, but the numbers written below it are kept.
    PortMemory m = PortMemory::parse(
        "socket://bench8:4002\nCOM97 0403:6001 01 FT 2232 H\nrfc2217://bench9:4003\nCOM99 "
        "rfc2217://bench7:4001\n",
        "ports");
    ASSERT_FALSE(m.damaged()) << m.problem();
    ASSERT_TRUE(m.remote(98));
    EXPECT_EQ(*m.remote(98), "socket://bench8:4002");
    ASSERT_TRUE(m.remote(100));
    EXPECT_EQ(*m.remote(100), "rfc2217://bench9:4003");
    ASSERT_TRUE(m.identity(97));
    EXPECT_EQ(*m.remote(99), "rfc2217://bench7:4001");
    // A new USB port takes a number none of them has, and the bare lines stay as written.
    EXPECT_EQ(m.assign({"04d8", "000a", "00", "A1"}), 101);
    EXPECT_NE(m.text().find("\nrfc2217://bench9:4003\n"), std::string::npos);
    EXPECT_EQ(PortMemory::parse(m.text(), "ports").remote(100) != nullptr, true);

    for (const char* bad : {"rfc2217://bench7\n", "socket://bench8:4002 socket://bench8:4003\n"}) {
        const PortMemory d = PortMemory::parse(bad, "ports");
        EXPECT_TRUE(d.damaged()) << bad;
        EXPECT_NE(d.problem().find("line 1"), std::string::npos) << d.problem();
    }
}

}  // namespace
