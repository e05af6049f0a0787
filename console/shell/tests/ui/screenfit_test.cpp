// The main window and the bootloader window on common and small screens at scale 1: on a
// 1366x768 screen both fit whole, with nothing to scroll; on smaller screens they shrink to
// the screen and every control can still be reached by scrolling.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QScreen>
#include <filesystem>

#include "console/base/consolestate.h"
#include "console/base/tests/alertrecorder.h"
#include "console/base/tests/fakeserial_support.h"
#include "console/base/ui/qtpump.h"
#include "console/bootloader/ui/quorblcform.h"
#include "console/shell/ui/mainwindow.h"
#include "screens_support.h"

namespace sarnel::testing {
namespace {

// Side by side: a common laptop screen, a netbook's, and one smaller than the bootloader
// window itself.
const QRect kLaptop(0, 0, 1366, 768);
const QRect kNetbook(1366, 0, 1024, 600);
const QRect kTiny(2390, 0, 400, 300);

class Screens : public ::testing::Test {
protected:
    void SetUp() override {
        screensApplication({kLaptop, kNetbook, kTiny});
        pump = std::make_unique<QtPump>();
        bus.adapter("COM3");
        settings =
            std::filesystem::temp_directory_path() / ("screenfit-" + std::to_string(::getpid()) + ".ini");
    }
    void TearDown() override {
        pump.reset();
        std::filesystem::remove(settings);
    }
    // The main window shown and started on the screen at `screen`.
    std::unique_ptr<MainWindow> mainWindowOn(const QRect& screen) {
        auto window =
            std::make_unique<MainWindow>(state, [this] { return std::make_unique<FakeSerial>(bus); });
        placeOn(window.get(), screen.topLeft() + QPoint(40, 40));
        window->show();
        window->startup(settings.string());
        QApplication::processEvents();
        return window;
    }
    std::unique_ptr<boot::QuorBLCForm> bootloaderOn(const QRect& screen) {
        auto form = std::make_unique<boot::QuorBLCForm>(state, "1.00.00", std::make_unique<FakeSerial>(bus),
                                                        [this] { return std::make_unique<FakeSerial>(bus); });
        placeOn(form.get(), screen.topLeft() + QPoint(40, 40));
        form->show();
        QApplication::processEvents();
        return form;
    }

    AlertRecorder alerts;
    std::unique_ptr<QtPump> pump;
    FakeBus bus;
    ConsoleState state;
    std::filesystem::path settings;
};

std::string describe(const QRect& r) {
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
}

TEST_F(Screens, BothWindowsFitA1366x768ScreenWhole) {
    auto window = mainWindowOn(kLaptop);
    EXPECT_EQ(window->screen()->geometry(), kLaptop);
    EXPECT_TRUE(kLaptop.contains(window->frameGeometry())) << describe(window->frameGeometry());
    EXPECT_FALSE(scrolls(window.get()));
    EXPECT_EQ(unreachable(window.get()), std::vector<std::string>{});
    // The design size is kept.
    const QSize design = window->size();
    window->resize(design + QSize(50, 50));
    QApplication::processEvents();
    EXPECT_EQ(window->size(), design);

    auto form = bootloaderOn(kLaptop);
    EXPECT_TRUE(kLaptop.contains(form->frameGeometry())) << describe(form->frameGeometry());
    EXPECT_FALSE(scrolls(form.get()));
    EXPECT_EQ(unreachable(form.get()), std::vector<std::string>{});
}

TEST_F(Screens, OnSmallerScreensEveryControlIsReachedByScrolling) {
    auto window = mainWindowOn(kNetbook);
    EXPECT_TRUE(kNetbook.contains(window->frameGeometry())) << describe(window->frameGeometry());
    EXPECT_EQ(unreachable(window.get()), std::vector<std::string>{});

    auto tiny = mainWindowOn(kTiny);
    EXPECT_TRUE(kTiny.contains(tiny->frameGeometry())) << describe(tiny->frameGeometry());
    EXPECT_TRUE(scrolls(tiny.get()));
    EXPECT_EQ(unreachable(tiny.get()), std::vector<std::string>{});

    auto form = bootloaderOn(kTiny);
    EXPECT_TRUE(kTiny.contains(form->frameGeometry())) << describe(form->frameGeometry());
    EXPECT_TRUE(scrolls(form.get()));
    EXPECT_EQ(unreachable(form.get()), std::vector<std::string>{});
}

// A collection with long titles does not widen the window or make it scroll.
TEST_F(Screens, LongCaptionsDoNotGrowTheWindow) {
    auto window = mainWindowOn(kLaptop);
    const QSize design = window->size();
    auto* list = window->findChild<QComboBox*>("Combo2");
    list->addItem(QString(100, QLatin1Char('W')));
    window->cmmd(0)->setText(QString(30, QLatin1Char('W')));
    QApplication::processEvents();
    EXPECT_EQ(window->size(), design);
    EXPECT_FALSE(scrolls(window.get()));
}

}  // namespace
}  // namespace sarnel::testing
