// The main window on the real component and a simulated adapter, as `sarnel --simulate` runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <filesystem>

#include "console/base/rs232.h"
#include "console/base/simulatedport.h"
#include "console/base/tests/alertrecorder.h"
#include "console/base/ui/qtpump.h"
#include "console/shell/ui/mainwindow.h"

namespace sarnel {
namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "simulated_test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: static destructors of the test run after main, when Qt's own
    // globals may already be gone.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class Simulated : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        pump = std::make_unique<QtPump>();  // needs the application's event loop
        portopen() = 0;
        settings = (simulated.folder() / "sarnel.ini").string();
        window = std::make_unique<MainWindow>([] { return createRs232(); });
        window->show();
        window->startup(settings);
    }
    void TearDown() override {
        window.reset();
        pump.reset();
        portopen() = 0;
    }
    QComboBox* portselect() { return window->findChild<QComboBox*>("portselect"); }
    std::string activity() {
        return window->findChild<QPlainTextEdit*>("i2cparser")->toPlainText().toStdString();
    }
    void click(const char* name) { window->findChild<QPushButton*>(name)->click(); }
    void chooseAdapter() {
        const int index = portselect()->findText("COM3");
        ASSERT_GT(index, 0);
        portselect()->setCurrentIndex(index);
        emit portselect()->activated(index);
        ASSERT_NE(portopen(), 0);
    }

    AlertRecorder alerts;
    std::unique_ptr<QtPump> pump;
    SimulatedPort simulated;
    std::string settings;
    std::unique_ptr<MainWindow> window;
};

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

TEST_F(Simulated, UnpluggingTheAdapterClosesThePort) {
    chooseAdapter();
    simulated.adapter().unplug();
    // Whichever notices first, the receive path or the write path, reports and closes.
    for (int i = 0; i < 3 && alerts.alerts.empty(); ++i) click("cmmd_18");
    ASSERT_FALSE(alerts.alerts.empty());
    const std::string caption = alerts.alerts[0].caption;
    EXPECT_TRUE(caption == "ComWrite error" || caption == "Veskor error") << caption;
    EXPECT_EQ(portselect()->currentIndex(), 0);
    EXPECT_EQ(portopen(), 0);
    click("cmmd_23");
    EXPECT_EQ(window->findChild<QLineEdit*>("rxbufferbox")->text().toStdString(), "[No port is selected]");
}

}  // namespace
}  // namespace sarnel
