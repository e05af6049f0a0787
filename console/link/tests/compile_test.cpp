// "Compile/Transmit" over the link: the queue compiled, its length shown, the frame sent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/base/tests/alertrecorder.h"
#include "console/base/tests/fakeserial_support.h"
#include "console/link/adapterlink.h"

namespace sarnel {
namespace {

using testing::FakeBus;
using testing::FakeSerial;

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// The main window as compile sees it: the queue, "Continuous Rx", the bus activity list
// (counting how often it is emptied) and `tokencount`.
struct Window final : ConsoleView, BusActivity {
    void setTxd(const std::string&) override {}
    void setRxd(const std::string&) override {}
    BusActivity& activity() override { return *this; }
    std::string queueText() override { return queue; }
    void setTokenCount(const std::string& text) override { tokencount = text; }
    void setPortList(const std::vector<std::string>&) override {}
    void showPortEntry(int) override {}

    void clear() override { ++cleared; }
    void append(std::string_view) override {}
    void setRxd(std::string_view) override {}
    bool continuousRx() override { return continuous; }

    std::string queue;
    bool continuous = false;
    int cleared = 0;
    std::string tokencount = "old";
};

// The frame goes to a fake adapter on COM3; what comes back is collected, not decoded.
class CompileTest : public ::testing::Test {
protected:
    CompileTest() {
        bus.adapter("COM3");
        serial.open("COM3", "115200,n,8,1");
        state.portopen = -1;
        serial.setLineHandler([this] { received += serial.read(); });
    }
    std::vector<std::string>& sent() { return bus.ports["COM3"].frames; }

    testing::ApartmentScope apartment;
    AlertRecorder alerts;
    FakeBus bus;
    FakeSerial serial{bus};
    Window w;
    ConsoleState state;
    AdapterLink link{w, serial, state, nullptr};
    std::string received;
};

TEST_F(CompileTest, SendsTheFrameAndShowsItsLength) {
    w.queue = "Start|Write 0x90|Stop";
    link.compile();
    EXPECT_EQ(w.cleared, 1);
    EXPECT_EQ(w.tokencount, "5");
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], "$00100500019004\r");
    EXPECT_EQ(received, "!0010SW90AP\r\n") << "the pause after the frame lets its reply in";
    EXPECT_TRUE(alerts.alerts.empty());

    w.continuous = true;
    w.queue = repeat("Write 1\n", 62);
    link.compile();
    EXPECT_EQ(w.cleared, 1) << "Continuous Rx keeps the activity list";
    EXPECT_EQ(w.tokencount, "125");
}

TEST_F(CompileTest, ErrorShowsTheAlertAndSendsNothing) {
    w.queue = "Start\r\nFrobnicate";
    link.compile();
    EXPECT_EQ(w.cleared, 1);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(w.tokencount, "old");
    ASSERT_EQ(alerts.alerts.size(), 1u);
    const AlertRequest& a = alerts.alerts[0];
    EXPECT_EQ(a.caption, "I2C processor error");
    EXPECT_EQ(a.message, "Unidentified element encountered: \r\nFrobnicate");
    EXPECT_TRUE(a.beep);
    EXPECT_TRUE(a.centred);
    EXPECT_EQ(a.fontSize, 12);
    EXPECT_EQ(w.queue, "Start\r\nFrobnicate") << "the queue itself is never changed";
}

}  // namespace
}  // namespace sarnel
