// The console's error routine and the alert logic in front of the alert window.
#include "console/base/alert.h"

#include <veskor/veskor.h>

#include <cstdio>
#include <string_view>

namespace sarnel {

namespace {

RunTimeError current;

// Without a window: the alert on standard error, answered with OK.
class StderrPresenter final : public AlertPresenter {
public:
    std::int16_t present(const AlertRequest& request) override {
        writealert(stderr, request);
        return -1;
    }
};

StderrPresenter stderrPresenter;
AlertPresenter* presenter = nullptr;
// Set while an alert is on screen: a second alert is refused rather than stacked.
bool showing = false;

constexpr const char* kLineBreak = "\r\n";

// What the component said after its message for a port that did not open: the cause the
// system gave ("/dev/ttyUSB0: permission denied ..."); empty when it said nothing more.
std::string opencause(const std::string& description) {
    const std::string_view message = veskor::resultMessage(veskor::VESKOR_E_OPEN);
    if (description.compare(0, message.size(), message) != 0) return {};
    const std::size_t start = description.find_first_not_of(' ', message.size());
    return start == std::string::npos ? std::string() : description.substr(start);
}

std::string hex8(std::int32_t number) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", static_cast<std::uint32_t>(number));
    return digits;
}

}  // namespace

void setRunTimeError(std::int32_t number, std::string description) {
    current.number = number;
    current.description = std::move(description);
}

void clearRunTimeError() {
    current = RunTimeError{};
}

const RunTimeError& runTimeError() {
    return current;
}

void setAlertPresenter(AlertPresenter* p) {
    presenter = p;
}

std::string alertline(const AlertRequest& request) {
    std::string line = request.caption + ": ";
    line.reserve(line.size() + request.message.size() + 1);
    for (char c : request.message) {
        if (c != '\r') line.push_back(c);
    }
    line.push_back('\n');
    return line;
}

void writealert(std::FILE* out, const AlertRequest& request) {
    // Written by length: a message may hold any byte, and a NUL must not end it.
    const std::string line = alertline(request);
    std::fwrite(line.data(), 1, line.size(), out);
    std::fflush(out);
}

std::string errormessage(std::int32_t number, const std::string& description) {
    switch (number) {
        case 6:
            return "A math operation has resulted in an overflow condition.";
        case 70:
            return "A file access error occurred typical of an attempt to write to a file locked for access "
                   "by another "
                   "program.  Check that files written to by this program are not open in another program "
                   "(such as "
                   "Excel) and if so close that program.";
        case 71:
            return "A file access error occurred typical of an attempt to write to a file when the target "
                   "drive is not "
                   "ready.  Wait for any drive initialization to complete and re-try the operation.";
        case 74:
            return "A file access error occured typical of an attempt to rename a file using a different "
                   "drive letter "
                   "that its current path.";
        case 75:
        case 76:
            return "A file access error occured typical of an attempt to write a file to a directory that "
                   "does not "
                   "exist.  Check that the directory expected by this program actually exists.";
        case 32755:
            return "The selected file is not available for access.";
        case static_cast<std::int32_t>(0x80010108u):
            return "An attempt was made to open a serial port that does not exist.";
        case static_cast<std::int32_t>(0x8000FFFFu):
            return "A serial port error occurred typical of unplugging the USB cable while the port was "
                   "open.  Reconnect "
                   "the cable, rescan the ports (By hitting \"Enter\" with the cursor in the port select "
                   "list) and then "
                   "re-open the desired port.";
        case static_cast<std::int32_t>(0x80040205u): {
            std::string text =
                "An attempt was made to open a serial port that was already open or does not exist.  If "
                "the device "
                "was unplugged after the port scan was completed, reconnect the device and then rescan "
                "the ports.";
            // The cause, when the component knows it: missing, busy, or closed to this user.
            if (const std::string cause = opencause(description); !cause.empty())
                text += std::string(kLineBreak) + kLineBreak + cause;
            return text;
        }
        case static_cast<std::int32_t>(0x80040206u):
            return "An attempt was made to write to a serial port that does not exist.  If the device was "
                   "unplugged "
                   "after the port scan was completed, reconnect the device and then rescan the ports.";
        default:
            return "An error has occured for which no handler is available: [" + description + "]" +
                   kLineBreak + kLineBreak + "Report this error so that it may be fixed.";
    }
}

std::int16_t ShowAlert(const std::string& caption, std::string& message, std::int32_t /*errorNumber*/,
                       std::int16_t style, double fontSize) {
    if (showing) return 0;
    if (message.empty()) message = errormessage(current.number, current.description);
    if (style < 0 || style > 4) return 0;

    AlertRequest request;
    request.caption = caption;
    request.beep = style == 0 || style == 2 || style == 3;
    request.centred = style == 0 || style == 2 || style == 4;
    request.fontSize = fontSize;
    // Style 2 shows the number of the error being handled, which is what the caller passes
    // from inside its handler.
    if (style == 2) request.message = "Error Code: 0x" + hex8(current.number) + kLineBreak + kLineBreak;
    request.message += message;

    AlertPresenter& shown = presenter ? *presenter : stderrPresenter;
    showing = true;
    std::int16_t answer;
    try {
        answer = shown.present(request);
    } catch (...) {
        showing = false;
        throw;
    }
    showing = false;
    return answer ? -1 : 0;
}

std::int16_t reportError(const std::string& caption, const ConsoleError& error, std::int16_t style,
                         double fontSize) {
    setRunTimeError(error.number(), error.description());
    std::string message;
    return ShowAlert(caption, message, error.number(), style, fontSize);
}

}  // namespace sarnel
