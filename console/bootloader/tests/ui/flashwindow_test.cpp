// The bootloader window with the real serial component against the simulated adapter: the
// port found by the window's own scan, "App Write" of a whole image read back from the
// adapter's memory, and Ping sending one frame.
#include <gtest/gtest.h>
#include <sim/simulator.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <cstdlib>

#include "console/base/rs232.h"
#include "console/bootloader/tests/alertlog_support.h"
#include "console/bootloader/tests/hexgen_support.h"
#include "console/bootloader/ui/quorblcform.h"
#include "window_support.h"

using namespace sarnel::boot;

namespace {

class FlashWindow : public ::testing::Test {
protected:
    FlashWindow() {
        adapter.linkAs(ports.path(), 7);
        ::setenv("VESKOR_PORT_DIR", ports.path().c_str(), 1);
        form = std::make_unique<QuorBLCForm>(state, "1.00.00", sarnel::createRs232(),
                                             [] { return sarnel::createRs232(); });
        form->show();
        form->portscanx();
    }
    ~FlashWindow() override {
        form.reset();
        ::unsetenv("VESKOR_PORT_DIR");
    }
    void chooseCom7() {
        auto* list = form->findChild<QComboBox*>("portselect");
        const int entry = list->findText("COM7");
        ASSERT_GT(entry, 0) << "the scan did not list the simulated adapter";
        list->setCurrentIndex(entry);
        emit list->activated(entry);
        ASSERT_TRUE(form->console().loader().portOpen());
    }
    QString textOf(const char* name) { return form->findChild<QLineEdit*>(name)->text(); }

    boottest::TempFolder ports;
    boottest::TempFolder files;
    boottest::AlertLog alerts;
    boottest::DialogAnswer dialog;
    sim::Adapter adapter;
    sarnel::ConsoleState state;
    std::unique_ptr<QuorBLCForm> form;
};

TEST_F(FlashWindow, AppWriteFlashesTheImageThatReadsBack) {
    chooseCom7();
    const boottest::HexImage image = boottest::makeimage(2000, sim::programMemorySize, 1);
    dialog.path = files.write("app.hex", image.lines);
    form->findChild<QPushButton*>("cmmd_1")->click();

    EXPECT_EQ(form->errorList(), "");
    EXPECT_EQ(textOf("blockswritten").toStdString(), std::to_string(image.dataLines));
    EXPECT_EQ(textOf("highromblocks").toStdString(), std::to_string(image.highLines));
    EXPECT_EQ(textOf("commentlines").toStdString(), std::to_string(image.commentLines));
    EXPECT_EQ(textOf("eofrecords"), "1");
    EXPECT_EQ(textOf("dataerrors"), "0");
    EXPECT_EQ(textOf("responsedecode"), "Programming complete");
    EXPECT_NE(textOf("programtime"), "---");
    EXPECT_EQ(adapter.programMemory(), image.memory);
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(FlashWindow, PingSendsOneFrameAndTheReplyIsDecoded) {
    chooseCom7();
    form->findChild<QPushButton*>("cmmd_5")->click();
    boottest::settle(100);
    EXPECT_EQ(adapter.framesReceived(), std::vector<std::string>{"0000"});
    EXPECT_EQ(textOf("responsedecode"), "App: Firmware ID querry");
    EXPECT_EQ(textOf("responsecode"), "00");
    EXPECT_TRUE(textOf("rxbufferbox").startsWith("!0000022600"));
}

}  // namespace
