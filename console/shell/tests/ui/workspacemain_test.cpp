// The workspace in the main window, on the real serial component and a simulated adapter:
// what a user does from Load to the decoded reply.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "console/base/pump.h"
#include "console/base/rs232.h"
#include "console/base/simulatedport.h"
#include "console/base/ui/qtpump.h"
#include "console/command/tests/ui/workspace_support.h"
#include "console/command/ui/workspacepanel.h"
#include "console/shell/ui/mainwindow.h"

namespace sarnel::testing {
namespace {

// Lets events run until `condition` holds or two seconds have passed: the adapter answers on
// its own thread.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::milliseconds(2000)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        pump().waitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(10));
    }
    return true;
}

class InMainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        setFileDialogPresenter(&dialog);
        setAlertPresenter(&alerts);
        pump = std::make_unique<QtPump>();
        settings = (simulated.folder() / "sarnel.ini").string();
        window = std::make_unique<MainWindow>(state, [] { return createRs232(); });
        window->show();
        window->startup(settings);
        panel = window->workspace();
        ASSERT_NE(panel, nullptr);
    }
    void TearDown() override {
        window.reset();
        pump.reset();
        setFileDialogPresenter(nullptr);
        setAlertPresenter(nullptr);
    }
    void chooseAdapter() {
        auto* ports = window->findChild<QComboBox*>("portselect");
        const int index = ports->findText(QString::fromStdString(simulated.portName()));
        ASSERT_GT(index, 0);
        ports->setCurrentIndex(index);
        emit ports->activated(index);
        ASSERT_NE(state.portopen, 0);
    }
    void load(const std::string& collection) {
        dialog.answer = FileDialogAnswer::chosen({files.write("set.txt", collection)});
        window->findChild<QPushButton*>("Command4")->click();
    }
    QPushButton* button(const char* name) { return window->findChild<QPushButton*>(name); }
    std::string activity() {
        return window->findChild<QPlainTextEdit*>("i2cparser")->toPlainText().toStdString();
    }

    ScriptedFileDialog dialog;
    AlertRecorder alerts;
    std::unique_ptr<QtPump> pump;
    SimulatedPort simulated;
    TempFolder files;
    std::string settings;
    ConsoleState state;
    std::unique_ptr<MainWindow> window;
    WorkspacePanel* panel = nullptr;
};

TEST_F(InMainWindow, OpensWithAnEmptyQueueAndTheFirstItems) {
    EXPECT_EQ(window->findChild<QPlainTextEdit*>("commands")->toPlainText(), "");
    EXPECT_EQ(window->findChild<QComboBox*>("Combo1")->currentIndex(), 0);
    EXPECT_EQ(window->findChild<QComboBox*>("Combo2")->currentText(),
              "<<< Press to LOAD a script collection!");
    for (int i = 0; i < 18; ++i) EXPECT_EQ(button(("cmmd_" + std::to_string(i)).c_str())->text(), "") << i;
}

TEST_F(InMainWindow, OneClickPresetReadsTheSensor) {
    chooseAdapter();
    load(
        ";Read temperature\r\nStart\r\nWrite  0x90\r\nWrite  0x00\r\nStart\r\nWrite  0x91\r\n"
        "Read   ack\r\nRead   Nack\r\nStop\r\n;Supply 5V\r\nSetV 5.0\r\n");
    EXPECT_EQ(button("cmmd_0")->text(), "Read temperature");
    EXPECT_EQ(button("cmmd_1")->text(), "Supply 5V");
    EXPECT_EQ(window->scriptFolder(), files.path().string() + "/");

    window->findChild<QCheckBox*>("oneclick")->setChecked(true);
    button("cmmd_0")->click();
    EXPECT_TRUE(eventually([&] { return activity().find("READ\t0x19\tAck") != std::string::npos; }))
        << activity();  // 25 C from the LM75
    EXPECT_EQ(window->findChild<QLineEdit*>("tokencount")->text(), "12");

    button("cmmd_1")->click();
    EXPECT_TRUE(eventually([&] { return simulated.adapter().bus().supplyMillivolts == 5000; }));
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(InMainWindow, TokenClicksQueueOrSend) {
    chooseAdapter();
    const std::size_t before = simulated.adapter().framesReceived().size();
    panel->tokenvalue(3)->setText("0011");
    click(panel->Label2(31));
    click(panel->Label2(19));
    EXPECT_EQ(window->findChild<QPlainTextEdit*>("commands")->toPlainText(), "GPDIR  0b0011\nSetV 3.5\n");
    EXPECT_EQ(simulated.adapter().framesReceived().size(), before);

    button("cmmd_255")->click();  // Compile/Transmit the two clicked lines
    EXPECT_TRUE(eventually([&] { return simulated.adapter().bus().supplyMillivolts == 3500; }));
    EXPECT_EQ(simulated.adapter().bus().gpioInput, (std::array<bool, 4>{true, true, false, false}));

    panel->oneclicktokens()->setChecked(true);
    click(panel->Label2(16));  // SetV Open
    EXPECT_EQ(window->findChild<QPlainTextEdit*>("commands")->toPlainText(), "SetV Open\n");
    EXPECT_TRUE(eventually([&] { return simulated.adapter().bus().supplyOpen; }));
}

TEST_F(InMainWindow, ListScriptsAndFramesAsTheAdapterReceivesThem) {
    chooseAdapter();
    std::string collection = ";Pointer to Tos\r\nStart\r\nWrite  0x90\r\nWrite  0x03\r\nStop\r\n";
    collection += collectionText(18);
    collection += ";Outputs\r\nSetV 5.0\r\nGPDIR 0b0011\r\n";  // script 20: list item 2
    load(collection);
    window->findChild<QCheckBox*>("oneclick")->setChecked(true);
    const std::size_t before = simulated.adapter().framesReceived().size();
    button("cmmd_0")->click();
    window->findChild<QComboBox*>("Combo2")->setCurrentIndex(2);
    ASSERT_TRUE(simulated.adapter().waitForFrames(before + 2, std::chrono::seconds(2)));
    const std::vector<std::string> frames = simulated.adapter().framesReceived();
    EXPECT_EQ(frames[before], "001007000190010304");
    EXPECT_EQ(frames[before + 1], "00100575A20011");
    EXPECT_EQ(window->findChild<QLineEdit*>("txbufferbox")->text(), "$00100575A20011[cr]");
    EXPECT_TRUE(eventually([&] { return simulated.adapter().bus().lm75.pointer == 3; }));
    EXPECT_TRUE(eventually([&] {
        return simulated.adapter().bus().gpioInput == std::array<bool, 4>{true, true, false, false};
    }));
}

// With "One Click Commands" a user's pick in the collection list is one click: one compile,
// one frame, however it is picked. The send waits with events running, which once let the
// pick count twice.
TEST_F(InMainWindow, OnePickInTheListSendsOnce) {
    chooseAdapter();
    load(collectionText(18) + ";Pointer 1\r\nStart\r\nWrite  0x90\r\nWrite  0x01\r\nStop\r\n" +
         ";Pointer 2\r\nStart\r\nWrite  0x90\r\nWrite  0x02\r\nStop\r\n");
    window->findChild<QCheckBox*>("oneclick")->setChecked(true);
    auto* list = window->findChild<QComboBox*>("Combo2");
    auto frames = [&] { return simulated.adapter().framesReceived().size(); };
    // Lets the adapter's answers and any late second send come in.
    auto settle = [&] { eventually([] { return false; }, std::chrono::milliseconds(300)); };

    std::size_t before = frames();
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(list, &down);  // the arrow key picks the next item: "Pointer 1"
    settle();
    EXPECT_EQ(list->currentIndex(), 1);
    EXPECT_EQ(frames(), before + 1);
    EXPECT_EQ(simulated.adapter().bus().lm75.pointer, 1);

    before = frames();
    list->showPopup();  // a mouse pick from the open list: "Pointer 2"
    QAbstractItemView* view = list->view();
    const QPoint at = view->visualRect(view->model()->index(2, 0)).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, view->viewport()->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &event);
    }
    settle();
    EXPECT_EQ(list->currentIndex(), 2);
    EXPECT_EQ(frames(), before + 1);
    EXPECT_EQ(simulated.adapter().bus().lm75.pointer, 2);

    // Picking the item already shown is a click too: once.
    before = frames();
    emit list->activated(2);
    settle();
    EXPECT_EQ(frames(), before + 1);
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(InMainWindow, CompileErrorSendsNothingAndKeepsTheQueue) {
    chooseAdapter();
    load(";Bad\r\nSetV 3.3\r\n");
    window->findChild<QCheckBox*>("oneclick")->setChecked(true);
    auto* count = window->findChild<QLineEdit*>("tokencount");
    count->setText("9");
    const std::size_t before = simulated.adapter().framesReceived().size();
    button("cmmd_0")->click();
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].caption, "I2C processor error");
    EXPECT_EQ(window->findChild<QPlainTextEdit*>("commands")->toPlainText(), ";Bad\nSetV 3.3");
    EXPECT_EQ(count->text(), "9");
    EXPECT_FALSE(simulated.adapter().waitForFrames(before + 1, std::chrono::milliseconds(200)));
}

TEST_F(InMainWindow, ScriptFolderIsKeptInTheSettings) {
    load(";One\r\nStart\r\n");
    window->close();
    std::ifstream in(settings);
    std::string line1;
    std::getline(in, line1);
    if (!line1.empty() && line1.back() == '\r') line1.pop_back();
    EXPECT_EQ(line1, files.path().string() + "/");
}

}  // namespace
}  // namespace sarnel::testing
