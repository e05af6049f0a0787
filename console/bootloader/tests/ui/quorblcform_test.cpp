// The bootloader window offscreen: its design-time state, the port and baud lists, the
// buttons and their enabling, the file choice, Cancel and closing during a run, and
// showbootloader's return of the HEX folder.
#include "console/bootloader/ui/quorblcform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "console/bootloader/replies.h"
#include "console/bootloader/tests/alertlog_support.h"
#include "console/bootloader/tests/fakecontrol_support.h"
#include "console/bootloader/ui/showbootloader.h"
#include "window_support.h"

using namespace sarnel::boot;
using boottest::FakeControl;
using boottest::reply;

namespace {

std::unique_ptr<sarnel::SerialControl> openableFake(std::set<std::string> names) {
    auto c = std::make_unique<FakeControl>();
    c->openable = std::move(names);
    return c;
}

class Window : public ::testing::Test {
protected:
    Window() {
        auto control = std::make_unique<FakeControl>();
        control->openable = {"COM3", "COM9"};
        rs232 = control.get();
        form = std::make_unique<QuorBLCForm>(state, "1.00.00", std::move(control), [] {
            return openableFake({"COM3", "COM9"});
        });
        form->show();
        form->portscanx();
    }
    template <typename T>
    T* child(const char* name) {
        T* w = form->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString textOf(const char* name) { return child<QLineEdit>(name)->text(); }
    void click(int index) { child<QPushButton>(("cmmd_" + std::to_string(index)).c_str())->click(); }
    void choosePort(int entry) {
        auto* list = child<QComboBox>("portselect");
        list->setCurrentIndex(entry);
        emit list->activated(entry);
    }
    void answerLikeTheBootloader() {
        rs232->respond([](const std::string& frame) {
            if (frame == "$00FF5A3C\r") return reply("Bb");
            if (frame == "$E\r") return reply("Be");
            if (frame == "$:00000001FF\r") return reply("Bc");
            return reply("Ba");
        });
    }

    boottest::AlertLog alerts;
    boottest::DialogAnswer dialog;
    boottest::TempFolder folder;
    FakeControl* rs232 = nullptr;
    sarnel::ConsoleState state;
    std::unique_ptr<QuorBLCForm> form;
};

TEST_F(Window, OpensInItsDesignTimeState) {
    EXPECT_EQ(form->windowTitle(), "Quor Boot Loader Controller 1.00.00");
    for (const char* counter :
         {"blockswritten", "highrompointers", "highromblocks", "eofrecords", "commentlines", "dataerrors"}) {
        EXPECT_EQ(textOf(counter), "0") << counter;
        EXPECT_EQ(child<QLineEdit>(counter)->font().family(), "Consolas") << counter;
    }
    EXPECT_EQ(textOf("programtime"), "---");
    EXPECT_EQ(textOf("responsecode"), "-");
    EXPECT_EQ(child<QLineEdit>("responsedecode")->font().family(), "Arial");
    EXPECT_EQ(child<QPlainTextEdit>("errorlist")->font().family(), "Consolas");
    EXPECT_TRUE(child<QCheckBox>("showprogress")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("runwitherrors")->isChecked());
    auto* baud = child<QComboBox>("baudrateselect");
    EXPECT_EQ(baud->count(), 16);
    EXPECT_EQ(baud->currentText(), "115200");
    const std::pair<int, const char*> captions[] = {{1, "App Write"}, {2, "Boot Write"}, {0, "App -> Boot"},
                                                    {255, "Cancel"},  {4, "Rescan"},     {5, "Ping"},
                                                    {6, "Reset?"},    {3, "Reset!"}};
    for (auto [index, caption] : captions)
        EXPECT_EQ(child<QPushButton>(("cmmd_" + std::to_string(index)).c_str())->text(), caption);
}

TEST_F(Window, TheScanListsEveryPortThatOpensAndLeavesNoneOpen) {
    auto* list = child<QComboBox>("portselect");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(0), "Select...");
    EXPECT_EQ(list->itemText(1), "COM3");
    EXPECT_EQ(list->itemText(2), "COM9");
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_FALSE(form->console().loader().portOpen());

    choosePort(2);
    EXPECT_TRUE(rs232->isOpen());
    EXPECT_EQ(rs232->portName(), "COM9");
    EXPECT_EQ(rs232->settings_, "115200,n,8,1");
    EXPECT_GE(rs232->breakWrites, 1);
    click(kRescan);
    EXPECT_FALSE(rs232->isOpen());
    EXPECT_FALSE(form->console().loader().portOpen());
    EXPECT_EQ(list->currentIndex(), 0);
}

TEST_F(Window, TheMainWindowsAdapterIsPreSelectedAndOpened) {
    state.adapterport = "COM9";
    form->portscanx();
    EXPECT_EQ(child<QComboBox>("portselect")->currentIndex(), 2);
    EXPECT_TRUE(rs232->isOpen());
    EXPECT_EQ(rs232->portName(), "COM9");
    EXPECT_TRUE(form->console().loader().portOpen());

    // Not listed (unplugged since): nothing is chosen.
    state.adapterport = "COM97";
    form->portscanx();
    EXPECT_EQ(child<QComboBox>("portselect")->currentIndex(), 0);
    EXPECT_FALSE(rs232->isOpen());
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(Window, ChangingTheBaudRateClosesThePortAndAppWriteAsksForOne) {
    choosePort(1);
    ASSERT_TRUE(form->console().loader().portOpen());
    auto* baud = child<QComboBox>("baudrateselect");
    baud->setCurrentIndex(6);
    emit baud->activated(6);
    EXPECT_FALSE(rs232->isOpen());
    EXPECT_EQ(child<QComboBox>("portselect")->currentIndex(), 0);

    click(kAppWrite);
    EXPECT_EQ(child<QPlainTextEdit>("errorlist")->toPlainText(), "Select a COM port to proceed...");
    EXPECT_TRUE(dialog.requests.empty());

    choosePort(1);
    EXPECT_EQ(rs232->settings_, "9600,n,8,1");
}

TEST_F(Window, EnterInThePortListRescansOtherKeysAreDiscarded) {
    auto* list = child<QComboBox>("portselect");
    choosePort(1);
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_C, Qt::NoModifier, "c");
    QApplication::sendEvent(list, &letter);
    EXPECT_TRUE(rs232->isOpen()) << "a letter neither rescans nor selects";
    EXPECT_EQ(list->currentIndex(), 1);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(list, &down);
    EXPECT_EQ(list->currentIndex(), 1);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QApplication::sendEvent(list, &enter);
    EXPECT_FALSE(rs232->isOpen());
    EXPECT_EQ(list->currentIndex(), 0);
}

TEST_F(Window, APortThatFailsToOpenIsReportedAndTheListGoesBack) {
    rs232->openable = {"COM3"};
    choosePort(2);  // COM9 was listed by the scan's control but fails on the window's
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].caption, "PortSelect error");
    EXPECT_EQ(child<QComboBox>("portselect")->currentIndex(), 0);
    EXPECT_FALSE(form->console().loader().portOpen());
}

TEST_F(Window, CommandButtonsWithoutAPortSayNoPortIsSelected) {
    for (int index : {kPing, kResetCause, kResetNow}) {
        click(index);
        EXPECT_EQ(textOf("rxbufferbox"), "[No port is selected]") << index;
    }
    EXPECT_TRUE(rs232->frames.empty());
}

TEST_F(Window, PingSendsOneFrameOnly) {
    choosePort(1);
    click(kPing);
    EXPECT_EQ(rs232->frames, std::vector<std::string>{"$0000\r"});
    EXPECT_EQ(textOf("rxbufferbox"), "---");
    EXPECT_EQ(textOf("txbufferbox"), "$0000[cr]");
    click(kResetCause);
    click(kResetNow);
    EXPECT_EQ(rs232->frames, (std::vector<std::string>{"$0000\r", "$0006\r", "$0007\r"}));
}

TEST_F(Window, AFailingWriteReturnsTheListToSelect) {
    choosePort(2);
    rs232->failWrite = static_cast<std::int32_t>(0x8004020C);
    click(kPing);
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].caption, "ComWrite error");
    EXPECT_EQ(child<QComboBox>("portselect")->currentIndex(), 0);
    EXPECT_FALSE(rs232->isOpen());
    EXPECT_EQ(form->console().selectedPort(), 0);
    rs232->failWrite = 0;
    click(kPing);
    EXPECT_EQ(textOf("rxbufferbox"), "[No port is selected]");
}

TEST_F(Window, CancellingTheFileDialogSendsNothingAndKeepsThePreviousRun) {
    choosePort(1);
    form->setText(Field::blockswritten, "12");
    form->setErrorList("previous log");
    sarnel::boot::hexfolder() = folder.path().string();
    click(kAppWrite);
    ASSERT_EQ(dialog.requests.size(), 1u);
    EXPECT_EQ(dialog.requests[0].title, "Select Hex file to load");
    EXPECT_EQ(dialog.requests[0].folder, folder.path().string());
    EXPECT_EQ(dialog.requests[0].filter, "Hex files(*.hex)|*.hex");
    EXPECT_TRUE(rs232->frames.empty());
    EXPECT_EQ(textOf("blockswritten"), "12");
    EXPECT_EQ(form->errorList(), "previous log");
    EXPECT_TRUE(child<QPushButton>("cmmd_1")->isEnabled());
}

TEST_F(Window, AppWriteRunsWithTheButtonsDisabledAndKeepsTheFolder) {
    choosePort(1);
    boottest::TempFolder other;
    dialog.path = other.write("fw.hex", {":0400000001020304F2", ":0400040005060708DE", ":00000001FF"});
    bool disabledDuringRun = false, cancelEnabled = false;
    rs232->respond([&](const std::string& frame) {
        disabledDuringRun =
            !child<QPushButton>("cmmd_0")->isEnabled() && !child<QPushButton>("cmmd_6")->isEnabled();
        cancelEnabled =
            child<QPushButton>("cmmd_255")->isEnabled() && child<QComboBox>("portselect")->isEnabled();
        if (frame == "$00FF5A3C\r") return reply("Bb");
        if (frame == "$E\r") return reply("Be");
        if (frame == "$:00000001FF\r") return reply("Bc");
        return reply("Ba");
    });
    click(kAppWrite);
    EXPECT_TRUE(disabledDuringRun);
    EXPECT_TRUE(cancelEnabled);
    EXPECT_TRUE(child<QPushButton>("cmmd_1")->isEnabled());
    EXPECT_EQ(rs232->frames.size(), 5u);
    EXPECT_EQ(textOf("blockswritten"), "2");
    EXPECT_EQ(textOf("eofrecords"), "1");
    EXPECT_EQ(textOf("responsecode"), "c");
    EXPECT_EQ(child<QLineEdit>("responsecode")->palette().color(QPalette::Base), QColor(0, 0, 255));
    EXPECT_EQ(textOf("codefilename").toStdString(), dialog.path);
    EXPECT_DOUBLE_EQ(form->progress(), 100.0);
    EXPECT_EQ(sarnel::boot::hexfolder(), other.path().string());

    // The next dialog opens in that folder.
    dialog.path.clear();
    click(kBootWrite);
    EXPECT_EQ(dialog.requests.back().folder, other.path().string());
}

TEST_F(Window, CancelAndClosingEndARunThatIsWaiting) {
    choosePort(1);
    std::vector<std::string> lines(50, ":0100000000FF");
    dialog.path = folder.write("long.hex", lines);
    int sent = 0;
    rs232->respond([&](const std::string& frame) {
        if (frame == "$E\r") return reply("Be");
        if (++sent == 10) rs232->during([this] { click(kCancel); });
        return reply("Ba");
    });
    click(kBootWrite);
    EXPECT_EQ(sent, 10);
    EXPECT_EQ(form->errorList(), "01  -  User interrupt\r\n");

    // Closing the window while the bootloader keeps silent: the line's wait ends at once.
    sent = 0;
    rs232->respond([&](const std::string& frame) {
        if (frame == "$E\r") return reply("Be");
        if (++sent == 3) {
            rs232->during([this] { form->close(); });
            return std::string();
        }
        return reply("Ba");
    });
    const auto t0 = std::chrono::steady_clock::now();
    click(kBootWrite);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(400));
    EXPECT_EQ(sent, 3);
    EXPECT_FALSE(rs232->isOpen());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->errorList(), "01  -  User interrupt\r\n");
}

TEST_F(Window, CancelDuringEntryIsAUserAbort) {
    choosePort(1);
    rs232->respond([&](const std::string&) {
        rs232->during([this] { click(kCancel); });
        return std::string();
    });
    click(kAppToBoot);
    EXPECT_EQ(form->errorList(), "User abort");
    EXPECT_EQ(textOf("dataerrors"), "1");
}

TEST(ShowBootloader, ReturnsTheFolderOnlyAfterTheWindowHasClosed) {
    boottest::AlertLog alerts;
    boottest::DialogAnswer dialog;
    boottest::TempFolder folder;
    sarnel::ConsoleState state;
    setBootSerialFactory([] { return openableFake({"COM4"}); });
    dialog.path = folder.write("x.hex", {});  // empty: refused at once, nothing sent

    std::string hexFolder = "/start";
    bool sawWindow = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QuorBLCForm* form = shownBootloader();
        // showbootloader pauses before it shows the window, then scans.
        if (!form || form->findChild<QComboBox*>("portselect")->count() < 2) return;
        poll.stop();
        sawWindow = form->isVisible();
        EXPECT_EQ(form->windowTitle(), "Quor Boot Loader Controller 2.01.09");
        // A second call while it is visible returns at once and changes nothing.
        std::string other = "/elsewhere";
        sarnel::showbootloader(state, other, "115200,n,8,1", "9.99.99");
        EXPECT_EQ(other, "/elsewhere");
        auto* list = form->findChild<QComboBox*>("portselect");
        EXPECT_EQ(list->count(), 2);
        list->setCurrentIndex(1);
        emit list->activated(1);
        form->findChild<QPushButton*>("cmmd_2")->click();  // Boot Write: the file is chosen
        form->close();
    });
    poll.start();
    sarnel::showbootloader(state, hexFolder, "115200,n,8,1", "2.01.09");
    EXPECT_TRUE(sawWindow);
    EXPECT_EQ(shownBootloader(), nullptr);
    EXPECT_EQ(hexFolder, folder.path().string());
    ASSERT_FALSE(dialog.requests.empty());
    EXPECT_EQ(dialog.requests[0].folder, "/start");
    setBootSerialFactory({});
}

}  // namespace

namespace {

// Under a light and a dark theme, every reply colour of responsecode carries a text that
// reads on it, and the progress bar keeps its own white ground under the blue fill.
TEST_F(Window, ReplyColoursReadUnderLightAndDarkThemes) {
    const QPalette light = QApplication::palette();
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    auto* code = child<QLineEdit>("responsecode");
    for (const QPalette& theme : {light, dark}) {
        QApplication::setPalette(theme);
        for (const Rgb colour : {kWhite, kBlue, kGreen, kRed, kYellow}) {
            form->setResponseColour(colour);
            const QColor ground = code->palette().color(QPalette::Base);
            const QColor ink = code->palette().color(QPalette::Text);
            EXPECT_EQ(ground, QColor(colour.r, colour.g, colour.b));
            const double ratio = contrastratio(
                {static_cast<std::uint8_t>(ground.red()), static_cast<std::uint8_t>(ground.green()),
                 static_cast<std::uint8_t>(ground.blue())},
                {static_cast<std::uint8_t>(ink.red()), static_cast<std::uint8_t>(ink.green()),
                 static_cast<std::uint8_t>(ink.blue())});
            EXPECT_GE(ratio, 4.5) << ground.name().toStdString() << " with " << ink.name().toStdString();
        }
        form->drawProgress(50);
        const QImage bar = child<QWidget>("progressp")->grab().toImage();
        EXPECT_EQ(bar.pixelColor(bar.width() / 4, bar.height() / 2), QColor(0, 0, 255));
        EXPECT_EQ(bar.pixelColor(bar.width() * 3 / 4, bar.height() / 2), QColor(255, 255, 255));
    }
    QApplication::setPalette(light);
}

}  // namespace
