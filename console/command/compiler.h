// The script compiler and the text routines it shares with the rest of the console.
//
// A script is the text of the command queue: lines separated by CR, LF or "|", words separated
// by spaces or tabs, comments from ";", "/" or "\" to the end of the line. scriptprocessor turns
// it into one script frame (frames.h): "$0010", the length byte, the tokens, CR.
//
// Everything here runs on the window's thread. Texts are bytes (ISO 8859-1 characters).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sarnel {

// --- Text routines --------------------------------------------------------------------------

// Every run of tabs becomes one tab, every tab a space, and the spaces at the end of the whole
// text are removed. Lets pending window events run once while it works (processEvents).
std::string cleanspaces(const std::string& text);

// Fields, counts and trimming over a separator; n selects the mode:
//   -1         trim: removes the leading separators from `text` (written back into `text`) and
//              returns it without its trailing separators ("" for a text of separators only);
//   0, < -1    count: the number of fields, as decimal digits ("0" for an empty text, a
//              trailing separator does not open a field);
//   1 .. 8000  field n ("" when there are fewer fields, and for n above 8000).
// A separator of " " or "" means words: `separator` is set to " " and the fields are taken from
// a copy of `text` with its leading spaces dropped and every run of spaces reduced to one.
// An empty separator in trim mode trims spaces.
std::string getfield(std::string& text, std::int32_t n, std::string& separator);
// The same on copies, for callers whose texts are constants; nothing is written back.
std::string getfield(const std::string& text, std::int32_t n, const std::string& separator);

// The hexadecimal digits of `text` (either case; every other character skipped), the last 200
// of them, as a number. No digit gives 0.
double hextonum(std::string_view text);

// `value` rounded down, reduced to its `width` lowest hexadecimal digits (two's complement
// for negative values), upper case, exactly `width` characters ("" for width below 1).
std::string numtohex(double value, std::int16_t width);

// The upper-case hexadecimal digits of `value` rounded down, without leading zeros (at least
// one digit). Negative values give the 13 digits of their 52-bit two's complement. Values
// above 2^51 - 1 or below -2^51 (infinities included) are limited to those bounds and marked
// with a leading "X"; NaN gives "X0".
std::string dbltohex(double value);

// The number at the start of `text`: leading spaces, tabs, CR and LF skipped, then an optional
// sign, digits, a decimal point with fraction digits, an exponent introduced by E or D (either
// case); or "&H" with hexadecimal digits, "&O" with octal digits. Reading stops at the first
// character that does not fit; no number gives 0. A decimal number beyond the double range
// gives an infinity of its sign; "&H"/"&O" numbers beyond 2^1023 are limited to it.
double leadingnumber(std::string_view text);

// --- The compiler ---------------------------------------------------------------------------

// The largest frame length byte: token bytes + 1.
inline constexpr int kMaxTokenCount = 125;
// Only the first lines of a script are compiled (blank lines do not count).
inline constexpr std::size_t kMaxScriptLines = 100;

// The outcome of compiling a script: the frame (ending in CR) or, when `frame` is empty, the
// message of the first error.
struct CompileResult {
    std::string frame;
    std::string error;            // e.g. "No data to compile!"
    std::int32_t tokenBytes = 0;  // token bytes of the frame (its length byte minus 1)
};

// Compiles without reporting: for sarnel-cli, tests and anything that shows errors itself.
// `script` is replaced by its normalised form (one CR between lines).
CompileResult compilescript(std::string& script);

// Compiles `script` (replaced by its normalised form) into a script frame ending in CR. On an
// error it shows the alert "I2C processor error" (style 0, font size 12) with the message and
// returns "".
std::string scriptprocessor(std::string& script);

// The main window's side of `compile`.
class CompileContext {
public:
    virtual ~CompileContext() = default;
    // The text of the command queue `commands`.
    virtual std::string commandQueue() = 0;
    // The state of the "Continuous Rx" check box.
    virtual bool continuousRx() = 0;
    // Empties the bus activity list `i2cparser`.
    virtual void clearActivity() = 0;
    // Writes the text of `tokencount`.
    virtual void setTokenCount(const std::string& text) = 0;
    // Sends the frame and pauses `wait` hundredths of a second (ComWrite).
    virtual void send(const std::string& frame, std::int16_t wait) = 0;
};

// The "Compile/Transmit" action: empties the bus activity list unless "Continuous Rx" is
// ticked, compiles a copy of the queue, and on success writes the frame length to
// `tokencount` and sends the frame with a pause of 1 hundredth. On an error the alert has
// been shown, nothing is sent and `tokencount` keeps its text.
void compile(CompileContext& context);

}  // namespace sarnel
