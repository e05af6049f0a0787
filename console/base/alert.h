// The console's one error-reporting routine and its alert window, reached through a seam so
// that tests and sarnel-cli answer alerts without a window.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "console/base/consoleerror.h"

namespace sarnel {

// The error that the running handler is dealing with (the "current run-time error"): a
// handler sets it when it catches a failure, before it reports. Style 2 of ShowAlert shows its
// number, and errormessage falls back to its description.
struct RunTimeError {
    std::int32_t number = 0;
    std::string description;
};
void setRunTimeError(std::int32_t number, std::string description);
void clearRunTimeError();
const RunTimeError& runTimeError();

// What a presenter is asked to show; the text is final (prefix and explanation applied).
struct AlertRequest {
    std::string caption;
    std::string message;  // lines separated by CR LF
    bool centred = true;
    bool beep = false;
    double fontSize = 0;  // above 0: the message's font size; else the window's design size
};

// Shows an alert and returns the answer: -1 (OK) or 0 (Cancel).
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual std::int16_t present(const AlertRequest& request) = 0;
};
// Installs the presenter (the Qt alert window in sarnel, a recorder in tests, standard error
// in sarnel-cli); nullptr restores the default, which writes the alert to standard error and
// answers OK. The caller keeps ownership.
void setAlertPresenter(AlertPresenter* presenter);

// The alert as one line of text for a terminal: "caption: message", CR LF breaks written as
// newlines, ended by a newline. Every byte of the message is kept (a NUL included).
std::string alertline(const AlertRequest& request);
// Writes alertline(request) to `out` whole.
void writealert(std::FILE* out, const AlertRequest& request);

// The explanatory text for an error number; `description` is used only for numbers without a
// text of their own.
std::string errormessage(std::int32_t number, const std::string& description);

// Shows the alert window with caption and message and returns -1 for OK, 0 for Cancel. An
// empty message is replaced (in the caller's variable too) by errormessage of the current
// run-time error. Styles: 0 beep centred, 1 left, 2 beep centred with "Error Code: 0x" and
// the run-time error number first, 3 beep left, 4 centred; any other style shows nothing and
// returns 0. While an alert is on screen a second one returns 0 at once.
std::int16_t ShowAlert(const std::string& caption, std::string& message, std::int32_t errorNumber,
                       std::int16_t style, double fontSize);

// A handler's usual report: makes `error` the current run-time error and shows the alert with
// an empty message (so errormessage explains the number).
std::int16_t reportError(const std::string& caption, const ConsoleError& error, std::int16_t style = 2,
                         double fontSize = 12);

}  // namespace sarnel
