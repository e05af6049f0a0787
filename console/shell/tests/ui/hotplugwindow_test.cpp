// The main window's status bar, port tooltips and "Reconnect automatically" on the real
// component and a simulated adapter that passes for a USB adapter with a serial number.
#include <QCheckBox>
#include <QLabel>

#include "console/base/ui/statusbar.h"
#include "console/shell/tests/ui/simulated_support.h"

namespace sarnel {
namespace {

class HotPlugWindow : public Simulated {
protected:
    void SetUp() override {
        Simulated::SetUp();
        describe();
        serial::NameSettings names;
        names.portDir = simulated.folder().string();
        names.stateDir = (simulated.folder() / "config").string();
        names.info = &info;
        serial::WatchOptions options;
        options.udev = false;
        options.devFolder = simulated.folder().string();  // no device nodes there
        options.folders = {"/dev/pts", names.portDir};
        window->watchports(std::make_unique<PortPresence>(names, options));
        window->console().portscanx(1);  // tooltips from the fake source
    }
    // The simulated adapter's pseudo-terminal, described as a USB adapter.
    void describe() {
        serial::PortInfo p;
        p.path = simulated.adapter().devicePath();
        p.usb = true;
        p.vendorId = "04d8";
        p.productId = "000a";
        p.interface = "00";
        p.product = "6354 USB Master";
        p.serial = "SIM0001";
        info.ports = {p};
    }
    QString label(StatusSegment segment) { return window->statusBar()->label(segment)->text(); }
    bool serveUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done() && std::chrono::steady_clock::now() < end)
            pump->waitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
        return done();
    }

    serial::FakePortInfo info;
};

TEST_F(HotPlugWindow, TheBarAndTheTooltipNameTheDevice) {
    EXPECT_EQ(label(StatusSegment::port).toStdString(), "No adapter selected");
    const std::string path = simulated.adapter().devicePath();
    const int index = portselect()->findText("COM3");
    ASSERT_GT(index, 0);
    const std::string tip = portselect()->itemData(index, Qt::ToolTipRole).toString().toStdString();
    EXPECT_NE(tip.find(path), std::string::npos) << tip;
    EXPECT_NE(tip.find("SIM0001"), std::string::npos) << tip;
    chooseAdapter();
    EXPECT_EQ(label(StatusSegment::port).toStdString(),
              "COM3  " + path + "  6354 USB Master  serial SIM0001");
    portselect()->setCurrentIndex(0);
    emit portselect()->activated(0);
    EXPECT_EQ(label(StatusSegment::port).toStdString(), "No adapter selected");
}

TEST_F(HotPlugWindow, AnAdapterPluggedBackInIsReopenedAndNothingIsSentTwice) {
    ASSERT_TRUE(window->reconnectBox()->isChecked());
    chooseAdapter();
    click("cmmd_24");  // Fast
    ASSERT_TRUE(awaitActivity("[Speed set Fast=400k]"));
    simulated.adapter().unplug();
    ASSERT_TRUE(serveUntil([&] { return label(StatusSegment::event).contains("was unplugged"); }));
    EXPECT_EQ(portselect()->currentIndex(), 0);
    EXPECT_EQ(state.portopen, 0);

    const std::size_t before = simulated.adapter().framesReceived().size();
    simulated.adapter().replug();
    describe();  // a new node, the same serial number
    ASSERT_TRUE(serveUntil([&] { return state.portopen != 0; })) << label(StatusSegment::event).toStdString();
    EXPECT_EQ(portselect()->currentText().toStdString(), "COM3");
    EXPECT_TRUE(label(StatusSegment::event).contains("is back")) << label(StatusSegment::event).toStdString();
    const std::vector<std::string> frames = simulated.adapter().framesReceived();
    for (std::size_t i = before; i < frames.size(); ++i) EXPECT_EQ(frames[i], "0000") << i;
}

TEST_F(HotPlugWindow, TheCheckBoxTurnsReconnectingOff) {
    window->reconnectBox()->setChecked(false);
    EXPECT_FALSE(window->console().reconnect());
    chooseAdapter();
    simulated.adapter().unplug();
    ASSERT_TRUE(serveUntil([&] { return label(StatusSegment::event).contains("was unplugged"); }));
    simulated.adapter().replug();
    describe();
    ASSERT_TRUE(serveUntil([&] { return label(StatusSegment::event).contains("is back"); }));
    EXPECT_EQ(state.portopen, 0);
    EXPECT_EQ(portselect()->currentIndex(), 0);
}

}  // namespace
}  // namespace sarnel
