// The main window and the bootloader window on a 1920x1080 screen at 150 % (QT_SCALE_FACTOR
// 1.5, 1280x720 logical): both fit whole, with nothing to scroll.
#include <gtest/gtest.h>

#include <QApplication>
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

TEST(ScaledScreen, BothWindowsFitWhole) {
    screensApplication({QRect(0, 0, 1920, 1080)}, 1.5);
    AlertRecorder alerts;
    QtPump pump;
    FakeBus bus;
    ConsoleState state;
    bus.adapter("COM3");
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_EQ(screen, QRect(0, 0, 1280, 720)) << "the scale factor is in force";

    const auto settings =
        std::filesystem::temp_directory_path() / ("scaled-" + std::to_string(::getpid()) + ".ini");
    MainWindow window(state, [&] { return std::make_unique<FakeSerial>(bus); });
    window.show();
    window.startup(settings.string());
    QApplication::processEvents();
    EXPECT_TRUE(screen.contains(window.frameGeometry()));
    EXPECT_FALSE(scrolls(&window));
    EXPECT_EQ(unreachable(&window), std::vector<std::string>{});

    boot::QuorBLCForm form(state, "1.00.00", std::make_unique<FakeSerial>(bus),
                           [&] { return std::make_unique<FakeSerial>(bus); });
    form.show();
    QApplication::processEvents();
    EXPECT_TRUE(screen.contains(form.frameGeometry()));
    EXPECT_FALSE(scrolls(&form));
    EXPECT_EQ(unreachable(&form), std::vector<std::string>{});
    std::filesystem::remove(settings);
}

}  // namespace
}  // namespace sarnel::testing
