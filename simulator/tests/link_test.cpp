// The simulator over its pseudo-terminal: framing, faults, interrupt reports, unplugging,
// the COMn link and the sarnel-sim program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sysio/sysio.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "host_support.h"
#include "sim/simulator.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using simtest::Host;

std::filesystem::path scratch(const std::string& name) {
    auto dir =
        std::filesystem::temp_directory_path() / ("simlink-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

TEST(Link, IdentifiesItselfByModel) {
    sim::Adapter usb;
    sim::Options o;
    o.model = sim::Model::Rs232_6208;
    o.firmwareVersion = 9;
    sim::Adapter rs232(o);
    EXPECT_EQ(Host(usb.devicePath()).ask("0000"), "!000002260005\r\n");
    Host host(rs232.devicePath());
    EXPECT_EQ(host.ask("0000"), "!000001530009\r\n");
    rs232.setModel(sim::Model::Usb6354);
    EXPECT_EQ(host.ask("0000"), "!000002260009\r\n");
}

TEST(Link, FramesAreCutOutOfWhateverArrives) {
    sim::Adapter adapter;
    Host host(adapter.devicePath());
    host.send("noise\r\n$00");
    host.send("13\n\r");  // a line feed inside a frame is ignored
    EXPECT_EQ(host.line(), "!0013\r\n");
    host.send("$0000\r$0019\r");
    EXPECT_EQ(host.line(), "!000002260005\r\n");
    EXPECT_EQ(host.line(), "!00190000000\r\n");
    ASSERT_TRUE(adapter.waitForFrames(3, 1s));
    EXPECT_EQ(adapter.framesReceived(), (std::vector<std::string>{"0013", "0000", "0019"}));
    EXPECT_EQ(adapter.stats().framesReceived, 3u);
}

TEST(Link, InterruptedCallsAndShortTransfersLoseNothing) {
    sim::Adapter adapter;
    sysio::Choppy faults(2);
    sysio::setFaults(&faults);
    {
        Host host(adapter.devicePath());
        EXPECT_EQ(host.ask("0000"), "!000002260005\r\n");
        adapter.setTemperature(21.5);
        EXPECT_EQ(host.ask("001009000190010200019102030 4"), "!0010?09\r\n");
    }
    sysio::setFaults(nullptr);
    EXPECT_GT(faults.interrupted(), 10);
}

TEST(Link, SurvivesTheHostClosingAndReopening) {
    sim::Adapter adapter;
    for (int i = 0; i < 3; ++i) {
        Host host(adapter.devicePath());
        EXPECT_EQ(host.ask("0017"), "!0017\r\n") << i;
    }
}

TEST(Link, ScriptResultsReachTheHost) {
    sim::Adapter adapter;
    Host host(adapter.devicePath());
    // "LM75 Pointer Set, 2Byte Read" at 21.5 C, then the EEPROM written and read back.
    adapter.setTemperature(21.5);
    EXPECT_EQ(host.ask("001009000190010200019102030 4"), "!0010?09\r\n");
    EXPECT_EQ(host.ask("00100C0001900100000191020304"), "!0010sW90aW00asW91aR15aR80np\r\n");
    EXPECT_EQ(host.ask("00100900"
                       "01A0"
                       "0105"
                       "01C3"
                       "04"),
              "!0010sWA0aW05aWC3ap\r\n");
    EXPECT_EQ(host.ask("00100D"
                       "0605"
                       "00"
                       "01A0"
                       "0105"
                       "00"
                       "01A1"
                       "03"
                       "04"),
              "!0010d05sWA0aW05asWA1aRC3np\r\n");
    EXPECT_EQ(adapter.bus().eeprom[5], 0xC3);
}

TEST(Link, InterruptInputRaisesTheReport) {
    sim::Adapter adapter;
    Host host(adapter.devicePath());
    EXPECT_EQ(host.ask("00100260"), "!001061\r\n");
    EXPECT_EQ(host.ask("0011"), "!0011s\r\n");
    EXPECT_EQ(host.ask("0015"), "!0015\r\n");
    adapter.toggleInterruptInput();
    EXPECT_EQ(host.line(), "!002060\r\n");
    EXPECT_EQ(host.line(), "!001060\r\n");
    adapter.toggleInterruptInput();  // rising: not the edge
    EXPECT_EQ(host.collect(50ms), "");
    EXPECT_TRUE(adapter.bus().interruptInput);
}

struct FaultCase {
    sim::Fault fault;
    std::string seen;  // for "$0013"
};

TEST(Link, EachFaultDoesWhatItSays) {
    const std::vector<FaultCase> cases = {
        {sim::Fault::Silence, ""},
        {sim::Fault::NoLineFeed, "!0013\r"},
        {sim::Fault::Garbage, "xy#\xFF~xy#!0013\r\n"},
        {sim::Fault::Nul, std::string("\0!0013\r\n", 8)},
        {sim::Fault::Burst, "unrelated line 1\r\nunrelated line 2\r\n!0013\r\n"},
        {sim::Fault::Split, "!0013\r\n"},
    };
    sim::Adapter adapter;
    adapter.setFaultTuning({3, 20ms, 2, 8});
    Host host(adapter.devicePath());
    for (const FaultCase& c : cases) {
        adapter.clearFaults();
        adapter.setFault(c.fault);
        host.send("$0013\r");
        EXPECT_EQ(host.collect(150ms), c.seen) << sim::faultName(c.fault);
    }
    adapter.clearFaults();
    EXPECT_EQ(host.ask("0014"), "!0014\r\n");
    EXPECT_TRUE(adapter.bus().edgeLowToHigh);  // silence still executes
}

TEST(Link, SplitRepliesComeInPortionsWithPauses) {
    sim::Adapter adapter;
    adapter.setFaultTuning({3, 100ms, 0});
    adapter.setFault(sim::Fault::Split);
    Host host(adapter.devicePath());
    const auto start = Clock::now();
    host.send("$0013\r");
    const std::string first = host.readSome(1s);
    EXPECT_LT(first.size(), 7u);  // not the whole reply at once
    EXPECT_EQ(first + host.line(), "!0013\r\n");
    EXPECT_GE(Clock::now() - start, 200ms);  // three portions, two pauses
}

TEST(Link, PacedBytesTakeTheirTimeOnTheWire) {
    sim::Options o;
    o.paceBaud = 9600;
    sim::Adapter adapter(o);
    Host host(adapter.devicePath());
    const auto start = Clock::now();
    EXPECT_EQ(host.ask("0019"), "!00190000000\r\n");
    // 6 bytes in and 14 out at 10 bits a byte
    EXPECT_GE(Clock::now() - start, std::chrono::microseconds(20 * 10 * 1'000'000 / 9600));
    adapter.setPacing(0);
    EXPECT_EQ(host.ask("0000"), "!000002260005\r\n");
    EXPECT_THROW(adapter.setPacing(-1), std::invalid_argument);
}

TEST(Link, OnlyAHostAt115200IsUnderstood) {
    sim::Adapter adapter;
    Host host(adapter.devicePath());
    host.setLine(9600);
    host.send("$0018\r");
    EXPECT_EQ(host.collect(100ms), "");
    EXPECT_FALSE(adapter.bus().fast);
    host.setLine(115200);
    EXPECT_EQ(host.ask("0018"), "!0018\r\n");

    sim::Options o;
    o.checkLineSettings = false;
    sim::Adapter lenient(o);
    Host other(lenient.devicePath());
    other.setLine(9600);
    EXPECT_EQ(other.ask("0017"), "!0017\r\n");
}

TEST(Link, UnplugHangsUpTheHostAndReplugStartsAfresh) {
    const auto dir = scratch("unplug");
    sim::Adapter adapter;
    adapter.linkAs(dir, 4);
    Host host(adapter.devicePath());
    EXPECT_EQ(host.ask("0018"), "!0018\r\n");
    EXPECT_EQ(host.ask("00100260"), "!00106\x31\r\n");
    EXPECT_EQ(host.ask("0011"), "!0011s\r\n");
    EXPECT_EQ(host.ask("0015"), "!0015\r\n");  // trigger on, falling edge

    adapter.unplug();
    EXPECT_FALSE(adapter.plugged());
    EXPECT_EQ(adapter.devicePath(), "");
    EXPECT_TRUE(host.hungUp(1s));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "COM4")));
    adapter.unplug();                  // twice is harmless
    adapter.setInterruptInput(false);  // unpowered: the level changes, nothing is sent

    adapter.replug();
    ASSERT_TRUE(adapter.plugged());
    EXPECT_EQ(std::filesystem::read_symlink(dir / "COM4"), adapter.devicePath());
    Host again((dir / "COM4").string());
    EXPECT_EQ(again.ask("0019"), "!00190000000\r\n");  // power-up settings, no stale report
    EXPECT_EQ(adapter.bus().storedSequence, "60");     // the store is non-volatile
    adapter.stop();
    std::filesystem::remove_all(dir);
}

TEST(Link, ComLinkIsMadeReplacedAndRemoved) {
    const auto dir = scratch("link");
    {
        std::FILE* f = std::fopen((dir / "COM7").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    auto adapter = std::make_unique<sim::Adapter>();
    adapter->linkAs(dir, 7);
    EXPECT_EQ(std::filesystem::read_symlink(dir / "COM7"), adapter->devicePath());
    EXPECT_EQ(Host((dir / "COM7").string()).ask("0000"), "!000002260005\r\n");
    adapter->linkAs(dir, 8);  // moving the link removes the old one
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "COM7")));
    EXPECT_THROW(adapter->linkAs(dir, 0), std::invalid_argument);
    EXPECT_THROW(adapter->linkAs(dir, 1000), std::invalid_argument);
    adapter.reset();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "COM8")));
    std::filesystem::remove_all(dir);
}

TEST(Link, FlashedHexReadsBackFromProgramMemory) {
    sim::Options o;
    o.flashTimePerLine = 0us;
    o.eraseTime = 0us;
    sim::Adapter adapter(o);
    Host host(adapter.devicePath());
    EXPECT_EQ(host.ask("00FF5A3C"), "!Bb\r\n");
    EXPECT_EQ(host.ask("E"), "!Be\r\n");
    const std::vector<std::pair<std::string, std::string>> file = {
        {";image", "!Bi\r\n"},          {":020000040000FA", "!Bx\r\n"}, {":04010000DEADBEEFC3", "!Ba\r\n"},
        {":020000040020DA", "!Bx\r\n"}, {":01000000AA55", "!Bh\r\n"},   {":00000001FF", "!Bc\r\n"},
    };
    for (const auto& [l, verdict] : file) EXPECT_EQ(host.ask(l), verdict) << l;
    const std::vector<std::uint8_t> mem = adapter.programMemory();
    ASSERT_EQ(mem.size(), sim::programMemorySize);
    EXPECT_EQ((std::vector<std::uint8_t>(mem.begin() + 0x100, mem.begin() + 0x104)),
              (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(mem[0xFF], 0xFF);
    EXPECT_EQ(host.ask("0007"), "!Br\r\n");
    EXPECT_EQ(host.line(), "!001A10\r\n");
    EXPECT_FALSE(adapter.bus().inBootloader);
}

// --- sarnel-sim -----------------------------------------------------------------------------

std::string program() {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "sarnel-sim").string();
}

struct Child {
    pid_t pid = -1;
    std::FILE* out = nullptr;
};

Child spawn(std::vector<std::string> args) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);  // usage texts
    args.insert(args.begin(), program());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    Child r;
    if (::posix_spawn(&r.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) r.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    r.out = ::fdopen(fds[0], "r");
    return r;
}

std::string readLine(std::FILE* f) {
    char buf[512];
    if (!std::fgets(buf, sizeof buf, f)) return {};
    std::string s = buf;
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}

int finish(Child& r) {
    int status = 0;
    ::waitpid(r.pid, &status, 0);
    std::fclose(r.out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Program, ServesUntilInterruptedAndCleansUp) {
    const auto dir = scratch("program");
    Child r = spawn({"--port-dir", dir.string(), "--com", "12", "--model", "rs232", "--fault", "garbage"});
    ASSERT_GT(r.pid, 0);
    const std::string device = readLine(r.out);
    EXPECT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
    EXPECT_EQ(readLine(r.out), (dir / "COM12").string());
    {
        Host host((dir / "COM12").string());
        EXPECT_EQ(host.ask("0000"), "xy#\xFF~!000001530005\r\n");
    }
    ::kill(r.pid, SIGINT);
    EXPECT_EQ(finish(r), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "COM12")));
    std::filesystem::remove_all(dir);
}

TEST(Program, PutsTheDevicesItIsToldOnTheBus) {
    const auto dir = scratch("devices");
    Child r = spawn({"--port-dir", dir.string(), "--com", "13", "--device", "lm75@0x49", "--device",
                     "eeprom@0x57", "--firmware-version", "42"});
    ASSERT_GT(r.pid, 0);
    readLine(r.out);
    EXPECT_EQ(readLine(r.out), (dir / "COM13").string());
    {
        Host host((dir / "COM13").string());
        EXPECT_EQ(host.ask("0000"), "!000002260042\r\n");
        EXPECT_EQ(host.ask("00100D"
                           "000190"
                           "04"
                           "000192"
                           "04"
                           "0001AE"
                           "04"),
                  "!0010sW90npsW92apsWAEap\r\n");
    }
    ::kill(r.pid, SIGTERM);
    EXPECT_EQ(finish(r), 0);
    std::filesystem::remove_all(dir);
}

TEST(Program, PrintsItsVersion) {
    Child r = spawn({"--version"});
    ASSERT_GT(r.pid, 0);
    const std::string line = readLine(r.out);
    EXPECT_EQ(line.rfind("sarnel-sim ", 0), 0u) << line;
    EXPECT_EQ(finish(r), 0);
}

TEST(Program, RefusesBadArguments) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--model", "usb3"},
                                               {"--fault", "smoke"},
                                               {"--com", "3"},
                                               {"--pace", "fast"},
                                               {"--bogus"},
                                               {"--device", "lm75@0x90"},
                                               {"--device", "lm75@0x48", "--device", "eeprom@72"},
                                               {"--no-devices", "--device", "lm75@0x48"},
                                               {"--version", "7"},
                                               {"--firmware-version", "100"}}) {
        Child r = spawn(args);
        ASSERT_GT(r.pid, 0);
        EXPECT_EQ(finish(r), 2) << args[0];
    }
}

}  // namespace
