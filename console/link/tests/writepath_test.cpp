// The write path: ComWrite over a scripted control and over the real control of an unplugged
// adapter, and the TXD form of a frame.
#include <com/apartment.h>
#include <gtest/gtest.h>

#include "console/base/rs232.h"
#include "console/base/tests/alertrecorder.h"
#include "console/base/tests/fakeserial_support.h"
#include "console/base/tests/unplugged.h"
#include "console/link/adapterlink.h"

namespace sarnel {
namespace {

using testing::FakeBus;
using testing::FakeSerial;

TEST(TxdForm, MarksTheLineEnd) {
    struct Row {
        const char* frame;
        const char* shown;
    } rows[] = {
        {"$0011\r", "$0011[cr]"},
        {"$00100500019004\r", "$00100500019004[cr]"},
        {"text\r\n", "text[nl]"},
        {"text\n", "text[lf]"},
        {"text", "text"},
        {"", ""},
        {"\r", "[cr]"},
        {"a\n\r", "a\n[cr]"},  // only the last mark is shown in words
        {"a\r\n\r\n", "a\r\n[nl]"},
    };
    for (const Row& r : rows) EXPECT_EQ(txdform(r.frame), r.shown) << r.frame;
}

// The main window as the write path sees it.
struct Window final : ConsoleView {
    void setTxd(const std::string& t) override { txd = t; }
    void setRxd(const std::string& t) override {
        rxd = t;
        rxdHistory.push_back(t);
    }
    BusActivity& activity() override { return list; }
    std::string queueText() override { return {}; }
    void setTokenCount(const std::string&) override {}
    void setPortList(const std::vector<std::string>&) override {}
    void showPortEntry(int) override {}

    ActivityText list;
    std::string txd, rxd;
    std::vector<std::string> rxdHistory;
    int selectedNone = 0;
};

class WritePath : public ::testing::Test {
protected:
    void SetUp() override {
        bus.adapter("COM3");
        state.rxbuffer = "stale";
    }
    void openPort() {
        serial.open("COM3", "115200,n,8,1");
        state.portopen = -1;
    }

    testing::ApartmentScope apartment;
    AlertRecorder alerts;
    FakeBus bus;
    FakeSerial serial{bus};
    Window window;
    ConsoleState state;
    AdapterLink link{window, serial, state, [this] { ++window.selectedNone; }};
};

TEST_F(WritePath, WithoutAPortNothingIsSent) {
    link.ComWrite("$0017\r", 10);
    EXPECT_EQ(window.txd, "$0017[cr]");
    EXPECT_EQ(window.rxd, "[No port is selected]");
    EXPECT_TRUE(bus.ports["COM3"].frames.empty());
    EXPECT_EQ(state.rxbuffer, "stale");
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(WritePath, SendsTheWholeFrameAndPreparesTheReceiveSide) {
    openPort();
    serial.breakState = -1;
    link.ComWrite("$0013\r", 0);
    ASSERT_EQ(bus.ports["COM3"].frames.size(), 1u);
    EXPECT_EQ(bus.ports["COM3"].frames[0], "$0013\r");
    EXPECT_EQ(serial.lastCount, 0);
    EXPECT_EQ(serial.lastTimeout, 100);
    EXPECT_EQ(serial.breakState, 0);
    EXPECT_EQ(window.txd, "$0013[cr]");
    EXPECT_TRUE(state.rxbuffer.empty());
    // RXD is blanked before the write: " " and then "".
    ASSERT_GE(window.rxdHistory.size(), 2u);
    EXPECT_EQ(window.rxdHistory[0], " ");
    EXPECT_EQ(window.rxdHistory[1], "");
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(WritePath, AFailingWriteReportsAndClosesThePort) {
    openPort();
    bus.ports["COM3"].failWrites = true;
    link.ComWrite("$0000\r", 10);
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].caption, "ComWrite error");
    EXPECT_EQ(alerts.alerts[0].message.rfind("Error Code: 0x80040206\r\n\r\n", 0), 0u)
        << alerts.alerts[0].message;
    EXPECT_EQ(alerts.alerts[0].fontSize, 0);
    EXPECT_EQ(window.selectedNone, 1);
    EXPECT_FALSE(serial.isOpen());
    EXPECT_EQ(state.portopen, 0);
    // The next send only says that no port is selected.
    link.ComWrite("$0000\r", 10);
    EXPECT_EQ(window.rxd, "[No port is selected]");
    EXPECT_EQ(alerts.alerts.size(), 1u);
}

TEST_F(WritePath, TheReplyIsReceivedDuringThePause) {
    openPort();
    int lines = 0;
    serial.setLineHandler([&] {
        state.rxbuffer += serial.read();
        ++lines;
    });
    link.ComWrite("$0017\r", 2);
    EXPECT_EQ(lines, 1);
    EXPECT_EQ(state.rxbuffer, "!0017\r\n");
}

// The write path over the real serial control when the adapter was unplugged (the far end of a
// pseudo-terminal closed): the alert names the lost device.
TEST(WritePathUnplugged, TheAlertSaysTheDeviceIsGone) {
    com::initializeApartment();
    {
        AlertRecorder alerts;
        Window window;
        const std::unique_ptr<SerialControl> serial = createRs232();
        testing::UnpluggedPort port;
        port.openThenUnplug(*serial);
        ConsoleState state;
        state.portopen = -1;
        AdapterLink link(window, *serial, state, [&] { ++window.selectedNone; });

        link.ComWrite("$0000\r", 10);
        ASSERT_EQ(alerts.alerts.size(), 1u);
        testing::expectLostDeviceAlert(alerts.alerts[0]);
        EXPECT_EQ(window.selectedNone, 1);
        EXPECT_EQ(state.portopen, 0);
        EXPECT_FALSE(serial->isOpen());
    }
    com::uninitializeApartment();
}

}  // namespace
}  // namespace sarnel
