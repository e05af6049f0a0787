#include "console/shell/mainconsole.h"

#include <gtest/gtest.h>

#include "console/base/tests/alertrecorder.h"
#include "console/base/tests/fakeserial_support.h"
#include "console/base/timing.h"
#include "console/responses/receivepath.h"

namespace sarnel {
namespace {

using testing::FakeBus;
using testing::FakeSerial;

struct View final : ConsoleView {
    explicit View(const ConsoleState& s) : state(s) {}
    void setTxd(const std::string& t) override { txd = t; }
    void setRxd(const std::string& t) override { rxd = t; }
    BusActivity& activity() override { return list; }
    std::string queueText() override { return queue; }
    void setTokenCount(const std::string& t) override { tokencount = t; }
    void setPortList(const std::vector<std::string>& names) override { ports = names; }
    void showPortEntry(int index) override { shown = index; }
    void showBootloader(std::string& hexFolder) override {
        bootloaderFolder = hexFolder;
        portWasOpen = state.portopen != 0;
        hexFolder = "/new/hex/";
    }
    void reportDeniedPorts(const std::vector<DeniedPort>& denied) override { deniedReports += denied.size(); }

    const ConsoleState& state;
    ActivityText list;
    std::string txd, rxd, queue, tokencount, bootloaderFolder = "(not shown)";
    std::vector<std::string> ports;
    int shown = -1;
    bool portWasOpen = true;
    std::size_t deniedReports = 0;
};

class Console : public ::testing::Test {
protected:
    Console() {
        auto control = std::make_unique<FakeSerial>(bus);
        serial = control.get();
        console = std::make_unique<MainConsole>(view, state, std::move(control),
                                                [this] { return std::make_unique<FakeSerial>(bus); });
    }
    void chooseAdapter() {
        console->portscanx(1);
        ASSERT_EQ(view.ports, std::vector<std::string>{"COM3"});
        console->portselected(1);
        ASSERT_NE(state.portopen, 0);
        frames().clear();  // the scan's probe
    }
    std::vector<std::string>& frames() { return bus.ports["COM3"].frames; }

    testing::ApartmentScope apartment;
    AlertRecorder alerts;
    FakeBus bus;
    ConsoleState state;
    View view{state};
    FakeSerial* serial = nullptr;
    std::unique_ptr<MainConsole> console;
};

TEST_F(Console, ChoosingAPortOpensItAndSelectClosesIt) {
    bus.adapter("COM3");
    chooseAdapter();
    EXPECT_TRUE(serial->isOpen());
    EXPECT_EQ(bus.openSettings.back(), "115200,n,8,1");
    EXPECT_EQ(serial->clearedRQ, 1);
    EXPECT_EQ(serial->clearedTQ, 1);
    EXPECT_EQ(console->selectedPort(), 1);
    console->portselected(0);
    EXPECT_FALSE(serial->isOpen());
    EXPECT_EQ(state.portopen, 0);
}

TEST_F(Console, AScanLeavesNoPortOpen) {
    bus.adapter("COM3");
    chooseAdapter();
    console->cmmdclick(30);  // Rescan
    EXPECT_FALSE(serial->isOpen());
    EXPECT_EQ(state.portopen, 0);
    EXPECT_EQ(view.shown, 0);
    EXPECT_EQ(view.ports, std::vector<std::string>{"COM3"});
}

TEST_F(Console, ChoosingAPortThatHasGoneShowsPortSelectError) {
    bus.adapter("COM3");
    console->portscanx(1);
    bus.ports["COM3"].failOpen = true;
    console->portselected(1);
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].caption, "PortSelect error");
    EXPECT_EQ(alerts.alerts[0].message.rfind("Error Code: 0x80040205", 0), 0u);
    EXPECT_EQ(state.portopen, 0);
    EXPECT_EQ(view.shown, 0);
    EXPECT_EQ(console->selectedPort(), 0);
}

TEST_F(Console, PortListKeys) {
    bus.adapter("COM3");
    bus.ports["COM1"];  // opens, never answers
    struct Row {
        int character;
        bool discarded;
        std::vector<std::string> listed;
    } rows[] = {
        {13, true, {"COM3"}},           // Enter: adapters only
        {32, true, {"COM1", "COM3"}},   // Space: every port that opens
        {'c', true, {"COM1", "COM3"}},  // a letter neither scans nor selects
        {9, false, {"COM1", "COM3"}},   // Tab moves on
    };
    for (const Row& r : rows) {
        EXPECT_EQ(console->portkey(r.character), r.discarded) << r.character;
        EXPECT_EQ(view.ports, r.listed) << r.character;
    }
}

TEST_F(Console, FixedButtonsSendTheirFrames) {
    bus.adapter("COM3");
    chooseAdapter();
    struct Row {
        int index;
        std::vector<std::string> frames;
    } rows[] = {
        {18, {"$0000\r", "$0019\r"}},
        {19, {"$0013\r"}},
        {20, {"$0014\r"}},
        {21, {"$0015\r"}},
        {22, {"$0016\r"}},
        {23, {"$0017\r"}},
        {24, {"$0018\r"}},
        {25, {"$0006\r"}},
        {26, {"$0011\r"}},
        {27, {"$0012\r"}},
        {29, {"$0007\r"}},
    };
    for (const Row& r : rows) {
        frames().clear();
        console->cmmdclick(r.index);
        EXPECT_EQ(frames(), r.frames) << r.index;
    }
    frames().clear();
    console->cmmdclick(5);  // an empty preset button does nothing here
    console->cmmdclick(31);
    EXPECT_TRUE(frames().empty());
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(Console, PingShowsIdentificationAndStatus) {
    bus.adapter("COM3");
    chooseAdapter();
    console->cmmdclick(18);
    EXPECT_NE(view.list.text.find("[Firmware Version:]"), std::string::npos) << view.list.text;
    EXPECT_NE(view.list.text.find("[6354 USB Master  ]"), std::string::npos) << view.list.text;
    EXPECT_EQ(view.list.rxd.rfind("!0019", 0), 0u) << view.list.rxd;
    EXPECT_EQ(view.txd, "$0019[cr]");
    EXPECT_TRUE(state.rxbuffer.empty());
}

TEST_F(Console, UpdateClosesThePortAndHandsOverTheHexFolder) {
    bus.adapter("COM3");
    chooseAdapter();
    console->settings()[2] = "/old/hex/";
    console->cmmdclick(28);
    EXPECT_FALSE(view.portWasOpen);
    EXPECT_EQ(view.bootloaderFolder, "/old/hex/");
    EXPECT_EQ(console->settings()[2], "/new/hex/");
    EXPECT_FALSE(serial->isOpen());
    EXPECT_EQ(view.shown, 0);
}

TEST_F(Console, CompileTransmitSendsTheQueue) {
    bus.adapter("COM3");
    chooseAdapter();
    view.queue = "Start\r\nWrite 0x90\r\nStop\r\n";
    view.list.text = "earlier\r\n";
    console->cmmdclick(255);
    EXPECT_EQ(frames(), std::vector<std::string>{"$00100500019004\r"});
    EXPECT_EQ(view.tokencount, "5");
    EXPECT_EQ(view.list.text.find("earlier"), std::string::npos) << "cleared without Continuous Rx";
    EXPECT_NE(view.list.text.find("START"), std::string::npos) << view.list.text;

    view.list.continuous = true;
    console->cmmdclick(255);
    EXPECT_NE(view.list.text.find("START"), view.list.text.rfind("START"))
        << "Continuous Rx keeps the earlier lines";
}

TEST_F(Console, ReceivePath) {
    bus.adapter("COM3");
    chooseAdapter();
    // One reply in one piece: decoded at once, nothing left over.
    serial->arrive("!0013\r\n");
    processEvents();
    EXPECT_NE(view.list.text.find("[Edge = High-to-Low ]"), std::string::npos);
    EXPECT_TRUE(state.rxbuffer.empty());
    // In two portions: nothing before the line feed, all of it after.
    view.list.text.clear();
    serial->arrive("!00");
    processEvents();
    EXPECT_TRUE(view.list.text.empty());
    serial->arrive("14\r\n");
    processEvents();
    EXPECT_NE(view.list.text.find("[Edge = Low-to-High ]"), std::string::npos);
    // Two replies read by one Read; the second event finds nothing.
    view.list.text.clear();
    serial->arrive("!0015\r\n!0016\r\n");
    processEvents();
    EXPECT_NE(view.list.text.find("[Edge trigger = On  ]"), std::string::npos);
    EXPECT_NE(view.list.text.find("[Edge trigger = Off ]"), std::string::npos);
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(Console, AFailingReadShowsVeskorError) {
    bus.adapter("COM3");
    chooseAdapter();
    state.rxbuffer = "!00";
    bus.ports["COM3"].unplugged = true;
    console->link().charreceived();
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].caption, "Veskor error");
    EXPECT_EQ(alerts.alerts[0].message.rfind("Error Code: 0x8000FFFF", 0), 0u) << alerts.alerts[0].message;
    EXPECT_EQ(state.rxbuffer, "!00");
    EXPECT_EQ(state.portopen, 0);
    EXPECT_EQ(view.shown, 0);
    console->cmmdclick(23);
    EXPECT_EQ(view.rxd, "[No port is selected]");
}

TEST_F(Console, AnEventAfterThePortClosedIsIgnored) {
    bus.adapter("COM3");
    chooseAdapter();
    serial->arrive("!0013\r\n");  // the event is queued ...
    console->portselected(0);     // ... and the port closed before it runs
    processEvents();
    EXPECT_TRUE(alerts.alerts.empty());
    EXPECT_TRUE(view.list.text.empty());
}

TEST(RxBufferCap, KeepsTheBufferBounded) {
    const std::string junk(70000, 'x');
    struct Row {
        std::string in;
        std::string out;
    } rows[] = {
        {"!0013", "!0013"},               // within the cap: untouched
        {junk, ""},                       // no start mark: nothing can become a reply
        {junk + "!0019330", "!0019330"},  // the part before the last "!" goes
        {"!" + junk, ""},                 // a "reply" longer than the cap
        {junk + "!" + junk, ""},
    };
    for (const Row& r : rows) {
        std::string buffer = r.in;
        caprxbuffer(buffer, kRxBufferCap);
        EXPECT_EQ(buffer, r.out) << r.in.size();
    }
}

TEST_F(Console, AStreamWithoutRepliesCannotGrowTheBuffer) {
    bus.adapter("COM3");
    chooseAdapter();
    const std::string line(1000, 'z');
    for (int i = 0; i < 200; ++i) serial->arrive(line + "\n");
    processEvents();
    EXPECT_LE(state.rxbuffer.size(), kRxBufferCap);
    // A reply still gets through afterwards.
    serial->arrive("!0017\r\n");
    processEvents();
    EXPECT_NE(view.list.text.find("[Speed set Slow=100k]"), std::string::npos);
}

}  // namespace
}  // namespace sarnel
