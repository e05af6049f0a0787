#include "console/command/ui/workspacepanel.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <memory>

#include "console/command/compiler.h"
#include "console/command/ui/queuetext.h"
#include "workspace_support.h"

namespace sarnel::testing {
namespace {

std::string text(const QString& s) {
    return fromQt(s);
}

class Workspace : public ::testing::Test {
protected:
    void SetUp() override {
        setFileDialogPresenter(&dialog);
        setAlertPresenter(&alerts);
        panel = std::make_unique<WorkspacePanel>(host);
        host.folder = folder.path().string() + "/";
    }
    void TearDown() override {
        panel.reset();
        setFileDialogPresenter(nullptr);
        setAlertPresenter(nullptr);
    }
    // Load with the dialog answering `file`.
    void load(const std::string& file) {
        dialog.answer = FileDialogAnswer::chosen({file});
        click(panel->Command4());
    }
    void loadText(const std::string& collection) { load(folder.write("c.txt", collection)); }
    std::string caption(int i) { return text(host.buttons[static_cast<std::size_t>(i)]->text()); }
    std::vector<std::string> listItems() {
        std::vector<std::string> items;
        for (int i = 0; i < panel->Combo2()->count(); ++i)
            items.push_back(text(panel->Combo2()->itemText(i)));
        return items;
    }
    void pick(QComboBox* combo, int index) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    TestHost host;
    ScriptedFileDialog dialog;
    AlertRecorder alerts;
    TempFolder folder;
    std::unique_ptr<WorkspacePanel> panel;
};

TEST_F(Workspace, ControlsCarryTheirNamesCaptionsAndDefaults) {
    EXPECT_EQ(panel->findChild<QComboBox*>("Combo1"), panel->Combo1());
    EXPECT_EQ(panel->findChild<QPushButton*>("Command4")->text(), "Load");
    EXPECT_EQ(listItems(), std::vector<std::string>{"<<< Press to LOAD a script collection!"});
    EXPECT_EQ(panel->findChild<QCheckBox*>("oneclick")->text(), "One Click Commands");
    EXPECT_EQ(panel->oneclick()->toolTip(),
              "When checked the command buttons below populate the command queue and execute immediately, "
              "else just populate the queue");
    EXPECT_EQ(panel->findChild<QCheckBox*>("oneclicktokens")->text(), "One Click Tokens");
    EXPECT_EQ(panel->oneclicktokens()->toolTip(),
              "Check to execute tokens below when clicked else build up clicks into the command queue");
    EXPECT_EQ(host.count->toolTip(), "Maximum token count is 125");
    ASSERT_NE(panel->findChild<QPlainTextEdit*>("rxdata"), nullptr);
    ASSERT_NE(panel->findChild<QPlainTextEdit*>("txdata"), nullptr);

    const char* captions[32] = {
        "00     Start",       "01nn   Write  0x", "02     Read   Ack", "04     Stop",     "05nn   Delayu 0x",
        "03     Read   Nack", "10     Speed?",    "20     GP0LO",      "21     GP0HI",    "30     GP1LO",
        "31     GP1HI",       "40     GP2LO",     "41     GP2HI",      "50     GP3LO",    "51     GP3HI",
        "60     Int?",        "70     SetV Open", "71     SetV 2.5",   "72     SetV 3.0", "73     SetV 3.5",
        "74     SetV 4.0",    "75     SetV 5.0",  "06nn   Delaym 0x",  "80     SCL0",     "81     SCL1",
        "82     SDA0",        "83     SDA1",      "92     SDA?",       "90     SCL?",     "A0     GPPIN?",
        "A1     GPDIR?",      "A2nnnn GPDIR  0b"};
    for (int i = 0; i < 32; ++i) {
        QLabel* label = panel->findChild<QLabel*>(QStringLiteral("Label2_%1").arg(i));
        ASSERT_NE(label, nullptr) << i;
        EXPECT_EQ(text(label->text()), captions[i]) << i;
    }
    EXPECT_EQ(panel->Label2(4)->toolTip(), "Delay is (nn + 20)uS");
    EXPECT_EQ(panel->Label2(22)->toolTip(), "Delay is (nn + 20)uS");
    EXPECT_EQ(panel->Label2(31)->toolTip(), "Set GPIO direction A2zyxw (z:w=GPIO3:0) 1=In/0=Out");

    const struct {
        const char* text;
        int length;
    } values[4] = {{"AA", 2}, {"05", 2}, {"05", 2}, {"1111", 4}};
    for (int i = 0; i < 4; ++i) {
        QLineEdit* box = panel->findChild<QLineEdit*>(QStringLiteral("tokenvalue_%1").arg(i));
        ASSERT_NE(box, nullptr) << i;
        EXPECT_EQ(text(box->text()), values[i].text) << i;
        EXPECT_EQ(box->maxLength(), values[i].length) << i;
    }
}

TEST_F(Workspace, SamplesFillTheQueueAndCompileToTheirFrames) {
    const struct {
        const char* title;
        const char* frame;
    } samples[8] = {
        {"Set Slave interface voltage to 5.0V", "$00100275\r"},
        {"LM75 2Byte Read, [PresetPointer]", "$001007000191020304\r"},
        {"LM75 Pointer Set, 2Byte Read", "$00100C0001900102000191020304\r"},
        {"LM75 1Byte Config Read, [PresetPointer]", "$0010060001910304\r"},
        {"LM75 Pointer Set, Config Read", "$00100B00019001010001910304\r"},
        {"LM75 Config Register Write", "$0010090001900101011204\r"},
        {"LM75 Tos / Thyst Write", "$00100B00019001020134015204\r"},
        {"Walking Pulse Generator", "$00100F21050A2031050A3041050A405150\r"},
    };
    ASSERT_EQ(panel->Combo1()->count(), 8);
    panel->oneclick()->setChecked(true);  // samples only fill the queue, whatever the check box says
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(text(panel->Combo1()->itemText(i)), samples[i].title);
        host.commands->setPlainText("old text");
        pick(panel->Combo1(), i);
        const std::string queue = host.queue();
        EXPECT_EQ(queue.rfind(std::string(";") + samples[i].title + "\r\n", 0), 0u) << queue;
        EXPECT_EQ(queue.substr(queue.size() - 2), "\r\n");
        std::string script = queue;
        EXPECT_EQ(compilescript(script).frame, samples[i].frame) << samples[i].title;
    }
    EXPECT_TRUE(host.compiledQueues.empty());

    // Picking the sample already shown fills the queue again.
    host.commands->setPlainText("edited");
    emit panel->Combo1()->activated(7);
    EXPECT_EQ(host.queue().rfind(";Walking Pulse Generator\r\n", 0), 0u);
}

TEST_F(Workspace, StartsWithAnEmptyQueue) {
    host.commands->setPlainText("x");
    panel->selectInitialItems();
    EXPECT_EQ(host.queue(), "");
    EXPECT_EQ(panel->Combo1()->currentIndex(), 0);
    EXPECT_EQ(panel->Combo2()->currentIndex(), 0);
}

TEST_F(Workspace, LoadAsksForATextFileInTheLastFolder) {
    const std::string file = folder.write("set.txt", collectionText(2));
    host.folder = "/somewhere/else/";
    load(file);
    ASSERT_EQ(dialog.requests.size(), 1u);
    EXPECT_EQ(dialog.requests[0].title, "Select command script");
    EXPECT_EQ(dialog.requests[0].folder, "/somewhere/else/");
    EXPECT_EQ(dialog.requests[0].defaultName, "");
    EXPECT_EQ(dialog.requests[0].filter, "Text files(*.txt)|*.txt");
    EXPECT_FALSE(dialog.requests[0].multiSelect);
    EXPECT_EQ(host.folder, folder.path().string() + "/");
}

TEST_F(Workspace, EighteenScriptsFillThePresetButtons) {
    loadText(collectionText(18));
    for (int i = 0; i < 18; ++i) EXPECT_EQ(caption(i), "Script " + std::to_string(i + 1));
    EXPECT_EQ(listItems(), std::vector<std::string>{"<<< Press to LOAD a script collection!"});
    click(host.buttons[17]);
    EXPECT_EQ(host.queue(), ";Script 18\r\nStart\r\nWrite  0x18\r\nStop");
    EXPECT_TRUE(host.compiledQueues.empty());
}

TEST_F(Workspace, NineteenthScriptGoesIntoTheList) {
    loadText(collectionText(19));
    EXPECT_EQ(listItems(), (std::vector<std::string>{"Select a script to process...", "Script 19"}));
    EXPECT_EQ(panel->Combo2()->currentIndex(), 0);
    pick(panel->Combo2(), 1);
    EXPECT_EQ(host.queue(), ";Script 19\r\nStart\r\nWrite  0x19\r\nStop");
    EXPECT_TRUE(host.compiledQueues.empty());

    host.commands->setPlainText("kept");
    pick(panel->Combo2(), 0);  // the prompt does nothing
    EXPECT_EQ(host.queue(), "kept");
}

TEST_F(Workspace, LongHeadingsAreCutOnButtonsAndInTheList) {
    const std::string heading =
        "Read all registers of the temperature sensor at 0x90 then compare every value with "
        "the limits stored in the EEPROM and report";
    ASSERT_GT(heading.size(), 100u);
    std::string collection;
    for (int k = 0; k < 19; ++k) collection += ";" + heading + "\r\nStart\r\n";
    loadText(collection);
    EXPECT_EQ(caption(0), heading.substr(0, 30));
    EXPECT_EQ(listItems()[1], heading.substr(0, 100));
    click(host.buttons[0]);
    EXPECT_EQ(host.queue(), ";" + heading + "\r\nStart");
}

TEST_F(Workspace, SmallerCollectionClearsTheRemainingButtons) {
    loadText(collectionText(30));
    loadText(collectionText(4, "Second "));
    EXPECT_EQ(caption(3), "Second 4");
    for (int i = 4; i < 18; ++i) EXPECT_EQ(caption(i), "") << i;
    EXPECT_EQ(listItems(), std::vector<std::string>{"<<< Press to LOAD a script collection!"});

    host.commands->setPlainText("kept");
    panel->oneclick()->setChecked(true);
    click(host.buttons[10]);  // no caption: nothing, also with One Click Commands
    EXPECT_EQ(host.queue(), "kept");
    EXPECT_TRUE(host.compiledQueues.empty());
}

TEST_F(Workspace, OneClickCommandsCompileWhatThePresetLoaded) {
    loadText(";Read temperature\r\nStart\r\nWrite 0x91\r\nRead ack\r\nRead nack\r\nStop\r\n" +
             collectionText(20));
    panel->oneclick()->setChecked(true);
    click(host.buttons[0]);
    ASSERT_EQ(host.compiledQueues.size(), 1u);
    EXPECT_EQ(host.compiledQueues[0],
              ";Read temperature\r\nStart\r\nWrite 0x91\r\nRead ack\r\nRead nack\r\nStop");
    EXPECT_EQ(host.frames.back(), "$001007000191020304\r");

    pick(panel->Combo2(), 2);  // script 20 of the file
    ASSERT_EQ(host.compiledQueues.size(), 2u);
    EXPECT_EQ(host.compiledQueues[1].rfind(";Script 19\r\n", 0), 0u);
}

TEST_F(Workspace, CancelledLoadOnlyResetsTheListSelection) {
    loadText(collectionText(20));
    pick(panel->Combo2(), 2);
    host.commands->setPlainText("kept");
    const std::string folderBefore = host.folder;
    dialog.answer = FileDialogAnswer::cancel();
    click(panel->Command4());
    EXPECT_EQ(panel->Combo2()->currentIndex(), 0);
    EXPECT_EQ(listItems().size(), 3u);
    EXPECT_EQ(caption(0), "Script 1");
    EXPECT_EQ(host.queue(), "kept");
    EXPECT_EQ(host.folder, folderBefore);
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(Workspace, UnreadableFileAlertsAndChangesNothing) {
    loadText(collectionText(20));
    const std::string folderBefore = host.folder;
    for (const std::string& bad : {folder.path().string() + "/missing.txt", folder.path().string()}) {
        alerts.shown.clear();
        load(bad);
        ASSERT_EQ(alerts.shown.size(), 1u) << bad;
        EXPECT_EQ(alerts.shown[0].caption, "File open error");
        EXPECT_EQ(caption(0), "Script 1");
        EXPECT_EQ(listItems().size(), 3u);
        EXPECT_EQ(host.folder, folderBefore);
    }
}

TEST_F(Workspace, EmptyFileClearsThePresets) {
    loadText(collectionText(25));
    loadText("");
    for (int i = 0; i < 18; ++i) EXPECT_EQ(caption(i), "") << i;
    EXPECT_EQ(listItems(), std::vector<std::string>{"<<< Press to LOAD a script collection!"});
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(Workspace, ScriptsBeyondTheThousandthAreReported) {
    loadText(collectionText(1004));
    EXPECT_EQ(panel->Combo2()->count(), 983);
    EXPECT_EQ(listItems().back(), "Script 1000");
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_NE(alerts.shown[0].message.find("4 scripts were left out"), std::string::npos)
        << alerts.shown[0].message;
    pick(panel->Combo2(), 982);
    EXPECT_EQ(host.queue().rfind(";Script 1000\r\n", 0), 0u);
}

TEST_F(Workspace, TokenClicksBuildUpTheQueue) {
    // A typed last line without its line break is ended first, so that the token does not run
    // into it.
    host.commands->setPlainText("Start");
    click(panel->Label2(1));
    click(panel->Label2(3));
    EXPECT_EQ(host.queue(), "Start\r\nWrite  0xAA\r\nStop\r\n");
    panel->tokenvalue(3)->setText("11");
    click(panel->Label2(31));
    EXPECT_EQ(host.queue(), "Start\r\nWrite  0xAA\r\nStop\r\nGPDIR  0b1111\r\n");
    EXPECT_TRUE(host.compiledQueues.empty());

    host.commands->clear();
    click(panel->Label2(0));
    click(panel->Label2(0));
    EXPECT_EQ(host.queue(), "Start\r\nStart\r\n");
}

TEST_F(Workspace, OneClickTokensReplaceTheQueueAndSend) {
    panel->oneclicktokens()->setChecked(true);
    host.commands->setPlainText("Start\r\nStop");
    click(panel->Label2(2));
    click(panel->Label2(16));
    EXPECT_EQ(host.queue(), "SetV Open\r\n");
    EXPECT_EQ(host.compiledQueues, (std::vector<std::string>{"Read   Ack\r\n", "SetV Open\r\n"}));
    EXPECT_EQ(host.frames, (std::vector<std::string>{"$00100202\r", "$00100270\r"}));
}

TEST_F(Workspace, WriteClickAppliesTheZeroRuleToItsBox) {
    panel->tokenvalue(0)->setText("00");
    click(panel->Label2(1));
    EXPECT_EQ(text(panel->tokenvalue(0)->text()), "0");
    panel->tokenvalue(1)->setText("");
    click(panel->Label2(4));
    EXPECT_EQ(host.queue(), "Write  0x0\r\nDelayu 0x00\r\n");
}

TEST_F(Workspace, ValueBoxesTakeOnlyHexDigits) {
    QLineEdit* box = panel->tokenvalue(0);
    box->clear();
    typeKeys(box, "g-a");
    EXPECT_EQ(text(box->text()), "A");
    typeKeys(box, "f9");  // the box holds two characters
    EXPECT_EQ(text(box->text()), "AF");
    typeKeys(box, "\b");
    EXPECT_EQ(text(box->text()), "A");
    typeKeys(box, "\r ");
    EXPECT_EQ(text(box->text()), "A");

    QLineEdit* dir = panel->tokenvalue(3);
    dir->clear();
    typeKeys(dir, "1x0c11");
    EXPECT_EQ(text(dir->text()), "10C1");
}

TEST_F(Workspace, ValueBoxFocusSelectsAndZeroRuleOnLeaving) {
    QLineEdit* box = panel->tokenvalue(2);
    focusIn(box);
    EXPECT_EQ(text(box->selectedText()), "05");
    box->setText("00");
    focusOut(box);
    EXPECT_EQ(text(box->text()), "0");
    box->clear();
    focusOut(box);
    EXPECT_EQ(text(box->text()), "0");

    QLineEdit* dir = panel->tokenvalue(3);
    dir->setText("0000");  // all pins outputs
    focusOut(dir);
    EXPECT_EQ(text(dir->text()), "0000");
    click(panel->Label2(31));
    EXPECT_EQ(host.queue(), "GPDIR  0b0000\r\n");
}

TEST_F(Workspace, DoubleClicksClearTheBoxes) {
    host.commands->setPlainText("queue");
    host.parser->setPlainText("activity");
    host.txd->setText("$0000[cr]");
    panel->rxdata()->setPlainText("rx");
    panel->txdata()->setPlainText("tx");

    doubleClick(host.parser);
    EXPECT_EQ(host.parser->toPlainText(), "");
    EXPECT_EQ(host.queue(), "queue");
    doubleClick(host.txd);
    EXPECT_EQ(host.txd->text(), "");
    doubleClick(host.commands);
    EXPECT_EQ(host.queue(), "");
    doubleClick(panel->txdata());
    EXPECT_EQ(panel->rxdata()->toPlainText(), "");
    EXPECT_EQ(panel->txdata()->toPlainText(), "");
}

TEST_F(Workspace, TypingIntoTheListsIsDiscarded) {
    pick(panel->Combo1(), 0);
    typeKeys(panel->Combo1(), "w");  // would jump to "Walking Pulse Generator"
    EXPECT_EQ(panel->Combo1()->currentIndex(), 0);
}

}  // namespace
}  // namespace sarnel::testing
