// What the bootloader protocol sees of its window: the text fields, the two check boxes, the
// progress bar, the beep and the port list. The Qt window implements it over its controls;
// sarnel-cli and the tests use TextBootView (textbootview.h), which keeps the texts in memory.
#pragma once

#include <cstdint>
#include <string>

namespace sarnel::boot {

// The window's text fields, by their control names.
enum class Field {
    blockswritten,    // "Prog blocks": data lines accepted
    highrompointers,  // "High ROM": extended-address lines accepted
    highromblocks,    // "High Blocks": high-memory lines ignored by the bootloader
    commentlines,     // "Comments"
    eofrecords,       // "Completion"
    dataerrors,       // "Errors": every failure of a run
    programtime,      // streaming time in seconds, "---" until a run has finished
    txbufferbox,      // last command sent, line end shown as "[cr]" and the like
    rxbufferbox,      // last reply received
    responsecode,     // letter or digits of the last reply
    responsedecode,   // meaning of the last reply
    codefilename,     // path of the file being streamed
};

struct Rgb {
    std::uint8_t r = 255, g = 255, b = 255;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kGreen{0, 255, 0};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kBlack{0, 0, 0};

class BootView {
public:
    virtual ~BootView() = default;

    virtual std::string text(Field field) = 0;
    virtual void setText(Field field, const std::string& value) = 0;
    // Background of `responsecode`.
    virtual void setResponseColour(Rgb colour) = 0;

    // The error log `errorlist`, newest line first. prependError puts one line at the top
    // (line, CR LF, the previous text) without the caller rewriting the whole log.
    virtual std::string errorList() = 0;
    virtual void setErrorList(const std::string& value) = 0;
    virtual void prependError(const std::string& line) = 0;

    // The check boxes `showprogress` and `runwitherrors`.
    virtual bool showProgress() = 0;
    virtual bool runWithErrors() = 0;

    // The progress bar `progressp`: empty, or filled from the left to `percent` (0 to 100).
    virtual void clearProgress() = 0;
    virtual void drawProgress(double percent) = 0;

    virtual void beep() = 0;

    // Puts the port list back on "Select..." after a serial failure (the port itself is closed
    // by the protocol).
    virtual void selectNoPort() = 0;

    // Called after every streamed line with its number (from 1), the line count, the verdict
    // (empty when none came) and the line's round trip in seconds. For progress displays and
    // timing figures; the window ignores it.
    virtual void lineDone(int line, int lineCount, const std::string& reply, double seconds) {
        (void)line, (void)lineCount, (void)reply, (void)seconds;
    }
};

}  // namespace sarnel::boot
