#include "console/base/alert.h"

#include <gtest/gtest.h>

#include <string>

#include "console/base/tests/alertrecorder.h"

namespace sarnel {
namespace {

class AlertTest : public ::testing::Test {
protected:
    void TearDown() override { clearRunTimeError(); }
    AlertRecorder alerts;
};

TEST_F(AlertTest, Styles) {
    struct Case {
        std::int16_t style;
        bool beep;
        bool centred;
    };
    const Case cases[] = {
        {0, true, true}, {1, false, false}, {2, true, true}, {3, true, false}, {4, false, true}};
    setRunTimeError(70, "Permission denied");
    for (const Case& c : cases) {
        alerts.alerts.clear();
        std::string message = "hello";
        EXPECT_EQ(ShowAlert("Caption", message, 70, c.style, 12), -1) << c.style;
        ASSERT_EQ(alerts.alerts.size(), 1u) << c.style;
        const AlertRequest& a = alerts.alerts[0];
        EXPECT_EQ(a.caption, "Caption");
        EXPECT_EQ(a.beep, c.beep) << c.style;
        EXPECT_EQ(a.centred, c.centred) << c.style;
        EXPECT_EQ(a.fontSize, 12);
        EXPECT_EQ(a.message, c.style == 2 ? "Error Code: 0x00000046\r\n\r\nhello" : "hello") << c.style;
    }
    for (std::int16_t style : {-1, 5, 200}) {
        alerts.alerts.clear();
        std::string message = "x";
        EXPECT_EQ(ShowAlert("Caption", message, 0, style, 0), 0);
        EXPECT_TRUE(alerts.alerts.empty()) << style;
    }
}

TEST_F(AlertTest, AnswersAreTruthValues) {
    std::string message = "m";
    alerts.answer(0);
    EXPECT_EQ(ShowAlert("c", message, 0, 1, 0), 0);
    alerts.answer(1);  // any non-zero answer is OK
    EXPECT_EQ(ShowAlert("c", message, 0, 1, 0), -1);
}

TEST_F(AlertTest, EmptyMessageIsExplainedByTheRunTimeError) {
    setRunTimeError(70, "Permission denied");
    std::string message;
    ShowAlert("Ini file load/save error", message, 70, 2, 12);
    EXPECT_EQ(message, errormessage(70, ""));
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].message, "Error Code: 0x00000046\r\n\r\n" + errormessage(70, ""));

    // The number shown is the run-time error's, as inside the handler of that error.
    alerts.alerts.clear();
    setRunTimeError(static_cast<std::int32_t>(0x80040206u), "Write failed");
    std::string empty;
    reportError("ComWrite error", ConsoleError(static_cast<std::int32_t>(0x80040206u), "Write failed"), 2, 0);
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].caption, "ComWrite error");
    EXPECT_EQ(
        alerts.alerts[0].message,
        "Error Code: 0x80040206\r\n\r\nAn attempt was made to write to a serial port that does not exist.  "
        "If "
        "the device was unplugged after the port scan was completed, reconnect the device and then rescan "
        "the ports.");
    EXPECT_EQ(alerts.alerts[0].fontSize, 0);
}

TEST_F(AlertTest, UnknownNumberShowsTheDescription) {
    setRunTimeError(1234, "Something odd");
    std::string message;
    ShowAlert("Process error", message, 1234, 2, 12);
    EXPECT_EQ(
        alerts.alerts.at(0).message,
        "Error Code: 0x000004D2\r\n\r\nAn error has occured for which no handler is available: [Something "
        "odd]\r\n\r\nReport this error so that it may be fixed.");
}

TEST_F(AlertTest, ErrorTexts) {
    const std::pair<std::uint32_t, std::string> cases[] = {
        {6, "A math operation has resulted in an overflow condition."},
        {71,
         "A file access error occurred typical of an attempt to write to a file when the target drive is not "
         "ready.  Wait for any drive initialization to complete and re-try the operation."},
        {74,
         "A file access error occured typical of an attempt to rename a file using a different drive letter "
         "that its current path."},
        {75, errormessage(76, "")},
        {32755, "The selected file is not available for access."},
        {0x80010108u, "An attempt was made to open a serial port that does not exist."},
        {0x8000FFFFu,
         "A serial port error occurred typical of unplugging the USB cable while the port was open.  "
         "Reconnect the cable, rescan the ports (By hitting \"Enter\" with the cursor in the port "
         "select list) and then re-open the desired port."},
        {0x80040205u,
         "An attempt was made to open a serial port that was already open or does not exist.  If the "
         "device was unplugged after the port scan was completed, reconnect the device and then "
         "rescan the ports."},
    };
    for (const auto& [number, text] : cases) {
        EXPECT_EQ(errormessage(static_cast<std::int32_t>(number), "ignored"), text) << number;
    }
    // The component's cause of a failed open follows the explanation.
    const std::string opened =
        "Could not open port.  This may be because the port does not exist or is "
        "already in use.";
    const std::string denied = "/dev/ttyUSB0: permission denied (the device belongs to the group dialout).";
    EXPECT_EQ(errormessage(static_cast<std::int32_t>(0x80040205u), opened + "  " + denied),
              cases[std::size(cases) - 1].second + "\r\n\r\n" + denied);
    EXPECT_EQ(errormessage(static_cast<std::int32_t>(0x80040205u), opened),
              cases[std::size(cases) - 1].second);
    EXPECT_NE(errormessage(75, "").find("directory that does not exist"), std::string::npos);
    EXPECT_NE(errormessage(70, "").find("(such as Excel)"), std::string::npos);
}

// Shows a second alert while the first is on screen.
class NestingPresenter final : public AlertPresenter {
public:
    std::int16_t present(const AlertRequest&) override {
        ++shown;
        std::string message = "inner";
        inner = ShowAlert("inner", message, 0, 0, 0);
        return -1;
    }
    int shown = 0;
    std::int16_t inner = 99;
};

TEST(AlertNestingTest, OneAlertAtATime) {
    NestingPresenter presenter;
    setAlertPresenter(&presenter);
    std::string message = "outer";
    EXPECT_EQ(ShowAlert("outer", message, 0, 0, 0), -1);
    EXPECT_EQ(presenter.shown, 1);
    EXPECT_EQ(presenter.inner, 0);
    // Once the first has gone, alerts show again.
    EXPECT_EQ(ShowAlert("again", message, 0, 0, 0), -1);
    EXPECT_EQ(presenter.shown, 2);
    setAlertPresenter(nullptr);
}

}  // namespace
}  // namespace sarnel
