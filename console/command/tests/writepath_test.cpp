#include "console/command/writepath.h"

#include <gtest/gtest.h>

#include "console/base/tests/alertrecorder.h"
#include "console/base/tests/fakeserial_support.h"

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
struct Window final : WriteHost {
    explicit Window(FakeBus& bus) : serial(bus) {}
    SerialControl& rs232() override { return serial; }
    void setTxd(const std::string& t) override { txd = t; }
    void setRxd(const std::string& t) override {
        rxd = t;
        rxdHistory.push_back(t);
    }
    void emptyRxBuffer() override { rxbuffer.clear(); }
    void selectNoPort() override { ++selectedNone; }

    FakeSerial serial;
    std::string txd, rxd, rxbuffer = "stale";
    std::vector<std::string> rxdHistory;
    int selectedNone = 0;
};

class WritePath : public ::testing::Test {
protected:
    void SetUp() override {
        bus.adapter("COM3");
        portopen() = 0;
    }
    void TearDown() override { portopen() = 0; }
    void openPort() {
        window.serial.open("COM3", "115200,n,8,1");
        portopen() = -1;
    }

    testing::ApartmentScope apartment;
    AlertRecorder alerts;
    FakeBus bus;
    Window window{bus};
};

TEST_F(WritePath, WithoutAPortNothingIsSent) {
    ComWrite(window, "$0017\r", 10);
    EXPECT_EQ(window.txd, "$0017[cr]");
    EXPECT_EQ(window.rxd, "[No port is selected]");
    EXPECT_TRUE(bus.ports["COM3"].frames.empty());
    EXPECT_EQ(window.rxbuffer, "stale");
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(WritePath, SendsTheWholeFrameAndPreparesTheReceiveSide) {
    openPort();
    window.serial.breakState = -1;
    ComWrite(window, "$0013\r", 0);
    ASSERT_EQ(bus.ports["COM3"].frames.size(), 1u);
    EXPECT_EQ(bus.ports["COM3"].frames[0], "$0013\r");
    EXPECT_EQ(window.serial.lastCount, 0);
    EXPECT_EQ(window.serial.lastTimeout, 100);
    EXPECT_EQ(window.serial.breakState, 0);
    EXPECT_EQ(window.txd, "$0013[cr]");
    EXPECT_TRUE(window.rxbuffer.empty());
    // RXD is blanked before the write: " " and then "".
    ASSERT_GE(window.rxdHistory.size(), 2u);
    EXPECT_EQ(window.rxdHistory[0], " ");
    EXPECT_EQ(window.rxdHistory[1], "");
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(WritePath, AFailingWriteReportsAndClosesThePort) {
    openPort();
    bus.ports["COM3"].failWrites = true;
    ComWrite(window, "$0000\r", 10);
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].caption, "ComWrite error");
    EXPECT_EQ(alerts.alerts[0].message.rfind("Error Code: 0x80040206\r\n\r\n", 0), 0u)
        << alerts.alerts[0].message;
    EXPECT_EQ(alerts.alerts[0].fontSize, 0);
    EXPECT_EQ(window.selectedNone, 1);
    EXPECT_FALSE(window.serial.isOpen());
    EXPECT_EQ(portopen(), 0);
    // The next send only says that no port is selected.
    ComWrite(window, "$0000\r", 10);
    EXPECT_EQ(window.rxd, "[No port is selected]");
    EXPECT_EQ(alerts.alerts.size(), 1u);
}

TEST_F(WritePath, TheReplyIsReceivedDuringThePause) {
    openPort();
    int lines = 0;
    window.serial.setLineHandler([&] {
        window.rxbuffer += window.serial.read();
        ++lines;
    });
    ComWrite(window, "$0017\r", 2);
    EXPECT_EQ(lines, 1);
    EXPECT_EQ(window.rxbuffer, "!0017\r\n");
}

}  // namespace
}  // namespace sarnel
