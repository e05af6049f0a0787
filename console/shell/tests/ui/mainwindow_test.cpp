#include "console/shell/ui/mainwindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>
#include <QWindow>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "console/base/tests/alertrecorder.h"
#include "console/base/tests/fakeserial_support.h"
#include "console/base/ui/dialogowner.h"
#include "console/base/ui/qtalert.h"
#include "console/base/ui/qtfiledialog.h"
#include "console/base/ui/qtpump.h"
#include "console/base/ui/showalertform.h"
#include "console/bootloader/ui/quorblcform.h"
#include "console/bootloader/ui/showbootloader.h"
#include "console/shell/basicutilities.h"
#include "console/shell/versiontext.h"

namespace sarnel {
namespace {

namespace fs = std::filesystem;
using testing::FakeBus;
using testing::FakeSerial;

QApplication& application() {
    static int argc = 1;
    static char name[] = "mainwindow_test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: static destructors of the test run after main, when Qt's own
    // globals may already be gone.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

std::string text(const QPlainTextEdit* box) {
    return box->toPlainText().toStdString();
}

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        pump = std::make_unique<QtPump>();
        dir = fs::temp_directory_path() / ("mainwindow-test-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        settings = (dir / "sarnel.ini").string();
        // Per-user files of this test alone: the adapter one test leaves open is not the
        // next one's remembered adapter.
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        bus.adapter("COM3");
        window = std::make_unique<MainWindow>(state, [this] { return std::make_unique<FakeSerial>(bus); });
        window->show();
        window->startup(settings);
    }
    void TearDown() override {
        window.reset();
        pump.reset();
        fs::remove_all(dir);
    }
    template <typename T>
    T* find(const char* name) {
        T* w = window->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QComboBox* portselect() { return find<QComboBox>("portselect"); }
    void click(const char* name) { find<QPushButton>(name)->click(); }
    // As a user's pick: the entry becomes current, then the list reports the choice.
    void choosePort(int index) {
        portselect()->setCurrentIndex(index);
        emit portselect()->activated(index);
    }

    AlertRecorder alerts;
    std::unique_ptr<QtPump> pump;
    FakeBus bus;
    fs::path dir;
    std::string settings;
    ConsoleState state;
    std::unique_ptr<MainWindow> window;
};

TEST_F(Window, StartUp) {
    EXPECT_EQ(window->windowTitle().toStdString(), "Sarnel Master script processor  " + versiontext());
    QComboBox* list = portselect();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0).toStdString(), "Select...");
    EXPECT_EQ(list->itemText(1).toStdString(), "COM3");
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_EQ(list->toolTip().toStdString(),
              "Press \"Enter\" to rescan ports with the expected device ID, or \"Space\" to scan all ports");
    EXPECT_EQ(state.portopen, 0);
    // The first start wrote a settings file of two lines; the script folder is its first line.
    std::ifstream in(settings, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), " \r\n \r\n");
    EXPECT_EQ(window->console().scriptfolder(), " ");
    for (const char* name : {"txbufferbox", "rxbufferbox", "tokencount"}) find<QLineEdit>(name);
    QStringList captions;
    for (const QLabel* label : window->findChildren<QLabel*>()) captions << label->text();
    EXPECT_TRUE(captions.contains("Command Queue")) << captions.join(", ").toStdString();
    EXPECT_TRUE(captions.contains("I2C bus activity"));
    for (const char* name : {"i2cparser", "commands"}) find<QPlainTextEdit>(name);
    for (const char* name :
         {"cmmd_0", "cmmd_17", "cmmd_18", "cmmd_30", "cmmd_255", "Command5_1", "Command5_2"})
        find<QPushButton>(name);
    EXPECT_EQ(find<QPushButton>("cmmd_26")->toolTip().toStdString(),
              "Save the last command sequence executed into the interrupt command NV storage");
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(Window, KeepsItsSize) {
    const QSize design = window->size();
    window->resize(design.width() + 120, design.height() + 80);
    QApplication::processEvents();
    EXPECT_EQ(window->size(), design);
    window->showMaximized();
    QApplication::processEvents();
    EXPECT_FALSE(window->isMaximized());
    EXPECT_EQ(window->size(), design);
}

TEST_F(Window, PingShowsIdentificationAndStatus) {
    choosePort(1);
    ASSERT_NE(state.portopen, 0);
    click("cmmd_18");
    const std::string activity = text(find<QPlainTextEdit>("i2cparser"));
    EXPECT_NE(activity.find("[Firmware Version:]"), std::string::npos) << activity;
    EXPECT_NE(activity.find("[6354 USB Master  ]"), std::string::npos) << activity;
    EXPECT_EQ(find<QLineEdit>("txbufferbox")->text().toStdString(), "$0019[cr]");
    EXPECT_EQ(bus.ports["COM3"].frames.back(), "$0019\r");
}

TEST_F(Window, TypedScriptAndContinuousRx) {
    choosePort(1);
    find<QPlainTextEdit>("commands")->setPlainText("Start\nWrite 0x90\nStop");
    click("cmmd_255");
    auto* list = find<QPlainTextEdit>("i2cparser");
    EXPECT_EQ(find<QLineEdit>("tokencount")->text().toStdString(), "5");
    EXPECT_EQ(bus.ports["COM3"].frames.back(), "$00100500019004\r");
    EXPECT_NE(text(list).find("START"), std::string::npos) << text(list);
    click("cmmd_255");
    EXPECT_EQ(text(list).find("START"), text(list).rfind("START")) << "cleared before each send";
    find<QCheckBox>("continuousrx")->setChecked(true);
    click("cmmd_255");
    EXPECT_NE(text(list).find("START"), text(list).rfind("START")) << "Continuous Rx keeps earlier lines";
}

TEST_F(Window, StartUpOpensTheAdapterThatWasOpenAtTheLastClose) {
    window.reset();
    fs::create_directories(dir / "config" / "sarnel");
    // COM3 of the fake bus resolves to /dev/ttyS2, a port without an identity: kept by path.
    std::ofstream(dir / "config" / "sarnel" / "ports") << "last path /dev/ttyS2\n";
    window = std::make_unique<MainWindow>(state, [this] { return std::make_unique<FakeSerial>(bus); });
    window->show();
    window->startup(settings);
    EXPECT_EQ(portselect()->currentIndex(), 1);
    EXPECT_NE(state.portopen, 0);
    EXPECT_EQ(state.adapterport, "COM3");
    EXPECT_EQ(window->console().status().text(StatusSegment::port).rfind("COM3  /dev/ttyS2", 0), 0u)
        << window->console().status().text(StatusSegment::port);

    // Closed with another choice, the file says so for the next start.
    choosePort(0);
    bus.adapter("COM5");
    window->console().portscanx(1);
    choosePort(2);
    window->close();
    std::ifstream in(dir / "config" / "sarnel" / "ports");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "last path /dev/ttyS4\n");
}

TEST_F(Window, SendWithoutAPort) {
    click("cmmd_23");
    EXPECT_EQ(find<QLineEdit>("rxbufferbox")->text().toStdString(), "[No port is selected]");
    EXPECT_EQ(find<QLineEdit>("txbufferbox")->text().toStdString(), "$0017[cr]");
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(Window, UnpluggingTheAdapterMidSession) {
    choosePort(1);
    ASSERT_EQ(portselect()->currentIndex(), 1);
    bus.ports["COM3"].unplugged = true;
    click("cmmd_23");
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].caption, "ComWrite error");
    EXPECT_EQ(portselect()->currentIndex(), 0);
    EXPECT_EQ(state.portopen, 0);
}

TEST_F(Window, EnterAndSpaceInThePortListRescan) {
    bus.ports["COM1"];  // a port that opens but is no adapter
    auto press = [&](int key, const QString& t) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, t);
        QApplication::sendEvent(portselect(), &event);
    };
    press(Qt::Key_Space, " ");
    EXPECT_EQ(portselect()->count(), 3);
    press(Qt::Key_Return, "\r");
    EXPECT_EQ(portselect()->count(), 2);
    press(Qt::Key_C, "C");  // no jump to an entry by its first letter
    EXPECT_EQ(portselect()->currentIndex(), 0);
}

TEST_F(Window, HelpAndVersionToggle) {
    auto* box = find<QTextBrowser>("helpbox");
    EXPECT_FALSE(box->isVisible());
    click("Command5_1");
    EXPECT_TRUE(box->isVisible());
    EXPECT_NE(box->toPlainText().indexOf("Compile/Transmit"), -1);
    click("Command5_1");
    EXPECT_FALSE(box->isVisible());
    click("Command5_1");
    click("Command5_2");
    EXPECT_TRUE(box->isVisible()) << "switching documents keeps the box up";
    EXPECT_NE(box->toPlainText().indexOf("Revision history"), -1);
    EXPECT_EQ(window->helpDocument(), 2);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(box->viewport(), &dbl);
    EXPECT_FALSE(box->isVisible());
}

TEST_F(Window, AMissingHelpDocumentSaysSo) {
    // The test program's folder has the documents; move one away for a moment.
    const fs::path doc = fs::path(apppath()) / "revisionhistory.rtf";
    const fs::path aside = dir / "revisionhistory.rtf";
    fs::copy_file(doc, aside);
    fs::remove(doc);
    click("Command5_2");
    const QString shown = find<QTextBrowser>("helpbox")->toPlainText();
    fs::copy_file(aside, doc);
    EXPECT_NE(shown.indexOf("could not be opened"), -1) << shown.toStdString();
}

TEST_F(Window, ShutdownClosesThePortAndSavesTheSettings) {
    choosePort(1);
    window->setScriptFolder("/home/me/scripts/");
    window->close();
    EXPECT_FALSE(window->console().rs232().isOpen());
    std::ifstream in(settings, std::ios::binary);
    const std::string saved(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(saved.rfind("/home/me/scripts/\r\n", 0), 0u);
    int lines = 0;
    for (std::size_t i = 0; (i = saved.find("\r\n", i)) != std::string::npos; i += 2) ++lines;
    EXPECT_EQ(lines, 100);
}

// "Update" opens the bootloader window as a window of the main window's, so that it stays above
// it, and the dialogs it opens (the HEX file dialog, its alerts) belong to it.
TEST_F(Window, TheBootloaderWindowStaysAboveAndOwnsItsDialogs) {
    installQtFileDialog(window.get());
    installQtAlert();
    boot::setBootSerialFactory([this] { return std::make_unique<FakeSerial>(bus); });

    // Answers whatever modal dialog comes up and notes the window it belongs to.
    QWidget* fileDialogOwner = nullptr;
    QWidget* alertOwner = nullptr;
    QTimer answer;
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            fileDialogOwner = dialog->parentWidget();
            dialog->reject();
        } else if (auto* alert = qobject_cast<ShowAlertForm*>(modal)) {
            alertOwner = alert->parentWidget();
            alert->exitalert(0);
        }
    });
    answer.start();

    QWidget* shown = nullptr;
    QTimer steps;
    steps.setInterval(20);
    QObject::connect(&steps, &QTimer::timeout, [&] {
        boot::QuorBLCForm* form = boot::shownBootloader();
        if (!form || form->findChild<QComboBox*>("portselect")->count() < 2) return;
        steps.stop();
        shown = form;
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(form->parentWidget(), window.get());
        EXPECT_EQ(form->windowType(), Qt::Dialog) << "the type X11 window managers keep above its owner";
        EXPECT_FALSE(form->isModal());
        ASSERT_NE(form->windowHandle(), nullptr);
        EXPECT_EQ(form->windowHandle()->transientParent(), window->windowHandle());
        EXPECT_EQ(dialogowner(), form);
        auto* ports = form->findChild<QComboBox*>("portselect");
        ports->setCurrentIndex(1);
        emit ports->activated(1);
        form->findChild<QPushButton*>("cmmd_2")->click();  // Boot Write: "Select Hex file to load"
        bus.ports["COM3"].unplugged = true;
        form->findChild<QPushButton*>("cmmd_5")->click();  // Ping on an unplugged port: an alert
        form->close();
    });
    steps.start();
    click("cmmd_28");  // Update

    EXPECT_NE(shown, nullptr);
    EXPECT_EQ(fileDialogOwner, shown);
    EXPECT_EQ(alertOwner, shown);
    EXPECT_EQ(dialogowner(), nullptr);
    boot::setBootSerialFactory({});
    setFileDialogPresenter(nullptr);
    setAlertPresenter(&alerts);
}

}  // namespace
}  // namespace sarnel
