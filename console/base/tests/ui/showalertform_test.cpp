#include "console/base/ui/showalertform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextDocument>
#include <QTimer>

#include "console/base/alert.h"
#include "console/base/ui/qtalert.h"

namespace sarnel {
namespace {

// Lives until the process ends: destroying it among the static destructors would crash.
QApplication& app() {
    static int argc = 1;
    static char name[] = "showalertform_test";
    static char* argv[] = {name, nullptr};
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

AlertRequest request(bool centred, double fontSize) {
    AlertRequest r;
    r.caption = "I2C processor error";
    r.message = "Unidentified element encountered: \r\nFoo\xe9";
    r.centred = centred;
    r.fontSize = fontSize;
    return r;
}

TEST(ShowAlertFormTest, ShowsCaptionMessageAlignmentAndFont) {
    app();
    ShowAlertForm form(request(true, 12));
    EXPECT_EQ(form.windowTitle(), "I2C processor error");
    auto* message = form.findChild<QPlainTextEdit*>("message");
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->toPlainText(), QString::fromUtf8("Unidentified element encountered: \nFoo\u00e9"));
    EXPECT_EQ(message->document()->defaultTextOption().alignment(), Qt::AlignHCenter);
    EXPECT_EQ(message->font().pointSizeF(), 12);
    EXPECT_EQ(form.findChild<QPushButton*>("Command1_0")->text(), "OK");
    EXPECT_EQ(form.findChild<QPushButton*>("Command1_1")->text(), "Cancel");

    ShowAlertForm left(request(false, 0));
    message = left.findChild<QPlainTextEdit*>("message");
    EXPECT_EQ(message->document()->defaultTextOption().alignment(), Qt::AlignLeft);
    EXPECT_EQ(message->font().pointSizeF(), ShowAlertForm::kDesignFontSize);
}

// A long message at the handlers' font size (the settings alert with its file line) shows
// whole, without scrolling; a short one keeps the design size.
TEST(ShowAlertFormTest, GrowsToShowALongMessageWhole) {
    app();
    AlertRequest shortOne;
    shortOne.caption = "c";
    shortOne.message = "short";
    ShowAlertForm small(shortOne);
    EXPECT_EQ(small.size(), QSize(420, 220));

    AlertRequest r;
    r.caption = "Ini file load/save error";
    r.fontSize = 12;
    r.message =
        "Error Code: 0x0000004B\r\n\r\nThis is usually the result of another program taking over the INI "
        "file for this program.  This can typically be resolved by deleting the INI file in this "
        "program's directory and then re-starting the program\r\n\r\nSettings file: "
        "/home/someone/.config/sarnel/sarnel.ini (not a regular file)";
    ShowAlertForm form(r);
    form.show();
    QApplication::processEvents();
    auto* message = form.findChild<QPlainTextEdit*>("message");
    EXPECT_GT(form.height(), 220);
    EXPECT_EQ(message->verticalScrollBar()->maximum(), 0) << "the last line shows without scrolling";
}

TEST(ShowAlertFormTest, Answers) {
    app();
    {
        ShowAlertForm form(request(true, 0));
        form.show();
        form.findChild<QPushButton*>("Command1_0")->click();
        EXPECT_EQ(form.answer(), -1);
        EXPECT_FALSE(form.isVisible());
    }
    {
        ShowAlertForm form(request(true, 0));
        form.show();
        form.findChild<QPushButton*>("Command1_1")->click();
        EXPECT_EQ(form.answer(), 0);
    }
    {
        ShowAlertForm form(request(true, 0));
        form.show();
        form.close();  // the title bar's close
        EXPECT_EQ(form.answer(), 0);
    }
    {
        ShowAlertForm form(request(true, 0));
        form.show();
        auto* message = form.findChild<QPlainTextEdit*>("message");
        QKeyEvent five(QEvent::KeyPress, Qt::Key_5, Qt::NoModifier, "5");
        QApplication::sendEvent(message, &five);
        EXPECT_TRUE(form.isVisible());
        QKeyEvent six(QEvent::KeyPress, Qt::Key_6, Qt::NoModifier, "6");
        QApplication::sendEvent(message, &six);
        EXPECT_EQ(form.answer(), -1);
        EXPECT_FALSE(form.isVisible());
    }
}

// Clicks a button of the modal alert once it is on screen.
void clickWhenShown(const char* button) {
    QTimer::singleShot(0, [button] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "showalertform" && w->isVisible()) {
                w->findChild<QPushButton*>(button)->click();
                return;
            }
        }
        clickWhenShown(button);
    });
}

TEST(ShowAlertFormTest, ShowAlertRunsTheModalWindow) {
    app();
    installQtAlert();
    std::string message = "Really?";
    clickWhenShown("Command1_0");
    EXPECT_EQ(ShowAlert("Question", message, 0, 4, 0), -1);
    clickWhenShown("Command1_1");
    EXPECT_EQ(ShowAlert("Question", message, 0, 1, 0), 0);
    for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_FALSE(w->isVisible());
    setAlertPresenter(nullptr);
}

}  // namespace
}  // namespace sarnel
