// The main window on the real component and a simulated adapter, as `sarnel --simulate` runs.
#include <QLineEdit>
#include <QPlainTextEdit>

#include "console/shell/tests/ui/simulated_support.h"

namespace sarnel {
namespace {

TEST_F(Simulated, StartUpListsTheAdapterAndPingIdentifiesIt) {
    EXPECT_NE(portselect()->findText("COM3"), -1);
    EXPECT_EQ(portselect()->currentIndex(), 0);
    chooseAdapter();
    click("cmmd_18");
    const std::string lines = activity();
    EXPECT_NE(lines.find("[Firmware Version:]"), std::string::npos) << lines;
    EXPECT_NE(lines.find("[6354 USB Master  ]"), std::string::npos) << lines;
    EXPECT_NE(lines.find("[Speed:   Slow    ]"), std::string::npos) << lines;
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(Simulated, ButtonsAndAScriptShowBusActivity) {
    chooseAdapter();
    click("cmmd_24");  // Fast
    EXPECT_NE(activity().find("[Speed set Fast=400k]"), std::string::npos) << activity();
    click("cmmd_19");  // H>L
    EXPECT_NE(activity().find("[Edge = High-to-Low ]"), std::string::npos) << activity();
    EXPECT_TRUE(simulated.adapter().bus().fast);

    window->findChild<QPlainTextEdit*>("commands")
        ->setPlainText("Start\nWrite 0x90\nWrite 0x00\nStart\nWrite 0x91\nRead Ack\nRead Nack\nStop");
    click("cmmd_255");
    const std::string lines = activity();
    EXPECT_NE(lines.find("WRITE\t0x91\tAck"), std::string::npos) << lines;
    EXPECT_NE(lines.find("READ\t0x19\tAck"), std::string::npos) << lines;  // 25 C from the LM75
    EXPECT_EQ(window->findChild<QLineEdit*>("rxbufferbox")->text().left(5).toStdString(), "!0010");
}

TEST_F(Simulated, UnpluggingTheAdapterClosesThePortWithoutAClick) {
    chooseAdapter();
    simulated.adapter().unplug();
    // The hot-plug watcher tells the window at once. Should the receive path see the hang-up
    // first, it reports and closes, and the bar still says what happened.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    auto said = [&] { return window->console().status().text(StatusSegment::event).find("was unplugged"); };
    while (said() == std::string::npos && std::chrono::steady_clock::now() < end)
        pump->waitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
    EXPECT_NE(said(), std::string::npos) << window->console().status().text(StatusSegment::event);
    for (const auto& alert : alerts.alerts) EXPECT_EQ(alert.caption, "Veskor error");
    EXPECT_EQ(portselect()->currentIndex(), 0);
    EXPECT_EQ(state.portopen, 0);
    EXPECT_EQ(window->console().status().text(StatusSegment::port), "No adapter selected");
    click("cmmd_23");
    EXPECT_EQ(window->findChild<QLineEdit*>("rxbufferbox")->text().toStdString(), "[No port is selected]");
}

}  // namespace
}  // namespace sarnel
