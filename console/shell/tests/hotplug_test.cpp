// The main window's logic when adapters come and go: a pseudo-terminal stands in for a USB
// adapter (a link to it in a port folder, its identity from a fake information source), and
// the real watcher sees its node and its link go and come back.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <serial/portmemory.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "console/base/tests/alertrecorder.h"
#include "console/base/tests/fakeserial_support.h"
#include "console/shell/mainconsole.h"

namespace sarnel {
namespace {

namespace fs = std::filesystem;
using testing::FakeBus;
using testing::FakeSerial;

struct View final : ConsoleView {
    void setTxd(const std::string&) override {}
    void setRxd(const std::string& t) override { rxd = t; }
    BusActivity& activity() override { return list; }
    std::string queueText() override { return {}; }
    void setTokenCount(const std::string&) override {}
    void setPortList(const std::vector<std::string>& names) override { ports = names; }
    void showPortEntry(int index) override { shown = index; }
    ActivityText list;
    std::string rxd;
    std::vector<std::string> ports;
    int shown = -1;
};

// A pseudo-terminal that passes for a USB adapter with a serial number, linked as COMn.
class PtyAdapter {
public:
    PtyAdapter(const fs::path& folder, int com) : link_(folder / ("COM" + std::to_string(com))) { plug(); }
    ~PtyAdapter() { unplug(); }
    void plug() {
        char name[128] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
        path_ = name;
        fs::create_symlink(path_, link_);
    }
    // The node goes with the last descriptor of the pair, as a USB device's goes with it.
    void unplug() {
        std::error_code ignored;
        fs::remove(link_, ignored);
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
        slave_ = master_ = -1;
    }
    serial::PortInfo info() const {
        serial::PortInfo p;
        p.path = path_;
        p.usb = true;
        p.vendorId = "04d8";
        p.productId = "000a";
        p.interface = "00";
        p.manufacturer = "Sarnel";
        p.product = "6354 USB Master";
        p.serial = "SN0042";
        return p;
    }

private:
    fs::path link_;
    std::string path_;
    int master_ = -1, slave_ = -1;
};

class HotPlug : public ::testing::Test {
protected:
    HotPlug() {
        char pattern[] = "/tmp/hotplug-XXXXXX";
        folder = ::mkdtemp(pattern);
        fs::create_directories(folder / "ports");
        fs::create_directories(folder / "dev");
        fs::create_directories(folder / "config");
        adapter = std::make_unique<PtyAdapter>(folder / "ports", 3);
        info.ports = {adapter->info()};
        bus.adapter("COM3");

        serial::NameSettings names;
        names.portDir = folder / "ports";
        names.stateDir = folder / "config";
        names.info = &info;
        serial::WatchOptions options;
        options.udev = false;
        options.devFolder = folder / "dev";
        options.folders = {"/dev/pts", names.portDir};

        auto control = std::make_unique<FakeSerial>(bus);
        serial = control.get();
        console = std::make_unique<MainConsole>(view, state, std::move(control),
                                                [this] { return std::make_unique<FakeSerial>(bus); });
        console->watchports(std::make_unique<PortPresence>(names, options));
    }
    ~HotPlug() override {
        console.reset();
        adapter.reset();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    // Serves the watcher as the window's event loop does, until `done` or two seconds.
    template <typename Done>
    bool serveUntil(Done done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!done() && std::chrono::steady_clock::now() < end) {
            pollfd fd{console->presence()->descriptor(), POLLIN, 0};
            if (::poll(&fd, 1, 50) == 1) console->portschanged();
        }
        return done();
    }
    void choose() {
        console->portscanx(1);
        ASSERT_EQ(view.ports, std::vector<std::string>{"COM3"});
        console->portselected(1);
        ASSERT_NE(state.portopen, 0);
    }
    std::vector<std::string>& frames() { return bus.ports["COM3"].frames; }
    std::string event() { return console->status().text(StatusSegment::event); }

    testing::ApartmentScope apartment;
    AlertRecorder alerts;
    fs::path folder;
    std::unique_ptr<PtyAdapter> adapter;
    serial::FakePortInfo info;
    FakeBus bus;
    ConsoleState state;
    View view;
    FakeSerial* serial = nullptr;
    std::unique_ptr<MainConsole> console;
};

TEST_F(HotPlug, TheStatusBarAndTheTooltipSayWhichDeviceThePortIs) {
    EXPECT_EQ(console->status().text(StatusSegment::port), "No adapter selected");
    choose();
    const std::string path = adapter->info().path;
    EXPECT_EQ(console->status().text(StatusSegment::port),
              "COM3  " + path + "  Sarnel 6354 USB Master  serial SN0042");
    const std::string tip = console->porttooltip(1);
    EXPECT_NE(tip.find(path), std::string::npos) << tip;
    EXPECT_NE(tip.find("6354 USB Master"), std::string::npos) << tip;
    EXPECT_NE(tip.find("SN0042"), std::string::npos) << tip;
    EXPECT_EQ(console->porttooltip(0), "");
    EXPECT_EQ(console->porttooltip(2), "");
    console->portselected(0);
    EXPECT_EQ(console->status().text(StatusSegment::port), "No adapter selected");
}

TEST_F(HotPlug, AnUnpluggedAdapterIsClosedAtOnceAndReopenedWhenItComesBack) {
    choose();
    console->cmmdclick(24);          // Fast
    ASSERT_EQ(frames().size(), 2u);  // the scan's probe, then Fast
    const std::string fast = frames().back();

    adapter->unplug();
    ASSERT_TRUE(serveUntil([&] { return state.portopen == 0; })) << "the unplug went unnoticed";
    EXPECT_EQ(view.shown, 0);
    EXPECT_EQ(console->selectedPort(), 0);
    EXPECT_FALSE(serial->isOpen());
    EXPECT_EQ(console->status().text(StatusSegment::port), "No adapter selected");
    EXPECT_NE(event().find("The adapter on COM3"), std::string::npos) << event();
    EXPECT_NE(event().find("was unplugged"), std::string::npos) << event();
    EXPECT_TRUE(alerts.alerts.empty());

    // Something else coming and going is not the adapter.
    { PtyAdapter other(folder / "ports", 4); }

    adapter->plug();
    info.ports = {adapter->info()};  // a new node, the same serial number
    const std::size_t before = frames().size();
    ASSERT_TRUE(serveUntil([&] { return state.portopen != 0; })) << event();
    EXPECT_EQ(console->selectedPort(), 1);
    EXPECT_EQ(view.shown, 1);
    EXPECT_NE(event().find("is back"), std::string::npos) << event();
    // Only the scan's probe went out again: nothing sent before the unplug.
    for (std::size_t i = before; i < frames().size(); ++i) EXPECT_EQ(frames()[i], "$0000\r");
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(HotPlug, WithoutReconnectTheAdapterThatComesBackStaysClosed) {
    console->setReconnect(false);
    choose();
    adapter->unplug();
    ASSERT_TRUE(serveUntil([&] { return state.portopen == 0; }));
    adapter->plug();
    info.ports = {adapter->info()};
    ASSERT_TRUE(serveUntil([&] { return event().find("is back") != std::string::npos; })) << event();
    EXPECT_EQ(state.portopen, 0);
    EXPECT_EQ(console->selectedPort(), 0);
}

TEST_F(HotPlug, AFailedCallBeforeTheWatcherStillCountsAsAnUnplug) {
    choose();
    bus.ports["COM3"].unplugged = true;  // the control fails first, as after a hang-up
    console->cmmdclick(24);
    ASSERT_EQ(state.portopen, 0);
    ASSERT_EQ(alerts.alerts.size(), 1u);
    adapter->unplug();
    ASSERT_TRUE(serveUntil([&] { return event().find("was unplugged") != std::string::npos; })) << event();
    bus.ports["COM3"].unplugged = false;
    adapter->plug();
    info.ports = {adapter->info()};
    ASSERT_TRUE(serveUntil([&] { return state.portopen != 0; })) << event();
}

TEST_F(HotPlug, ARemotePortIsShownByItsAddressAndNeverUnplugged) {
    std::ofstream(folder / "ports" / "COM150") << "rfc2217://127.0.0.1:4001\n";
    serial::NameSettings names;
    names.portDir = folder / "ports";
    names.info = &info;
    const OpenPort remote = identifyport("COM150", names);
    EXPECT_EQ(remote.path, "rfc2217://127.0.0.1:4001");
    EXPECT_EQ(porttext(remote), "COM150  rfc2217://127.0.0.1:4001");
    EXPECT_FALSE(unplugs({{serial::PortChange::Kind::overlooked, {}}}, remote));
    EXPECT_FALSE(unplugs({{serial::PortChange::Kind::removed, "rfc2217://127.0.0.1:4001"}}, remote));
}

TEST_F(HotPlug, TheAdapterOpenAtExitIsOpenedAtTheNextStart) {
    choose();
    std::string problem;
    ASSERT_TRUE(console->rememberport(&problem)) << problem;
    const serial::PortMemory memory = serial::PortMemory::read(folder / "config");
    EXPECT_EQ(memory.last().identity, adapter->info().identity());
    console->portselected(0);

    // The next start: the port list is refilled and the same adapter is opened, under
    // whatever name it has now.
    bus.adapter("COM2");
    console->portscanx(1);
    ASSERT_EQ(view.ports, (std::vector<std::string>{"COM2", "COM3"}));
    console->openremembered();
    EXPECT_NE(state.portopen, 0);
    EXPECT_EQ(console->selectedPort(), 2);
    EXPECT_EQ(view.shown, 2);
    EXPECT_EQ(state.adapterport, "COM3");
}

TEST_F(HotPlug, APortWithoutIdentityIsRememberedByItsPathAndNothingWhenAbsent) {
    info.ports.clear();  // no identity: remembered by its device
    choose();
    ASSERT_TRUE(console->rememberport());
    EXPECT_EQ(serial::PortMemory::read(folder / "config").last().path, adapter->info().path);
    console->portselected(0);
    console->openremembered();
    EXPECT_NE(state.portopen, 0);

    // Gone at the next start: nothing is opened, and nothing is said.
    console->portselected(0);
    adapter->unplug();
    bus.ports.erase("COM3");
    console->portscanx(1);
    console->openremembered();
    EXPECT_EQ(state.portopen, 0);
    EXPECT_TRUE(alerts.alerts.empty());
}

}  // namespace
}  // namespace sarnel
