// What the console sends to the adapter: the frame format, the command codes, the fixed frames
// of the main window's command buttons, and the token codes that script frames carry, with the
// captions and tooltips the windows show for them.
//
// A frame is one line of ASCII text written in one piece: "$", "00", a two-digit command code,
// the payload (hexadecimal digit pairs; the four "0"/"1" characters of a GPDIR argument), CR.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sarnel {

inline constexpr char kCR = '\r';
inline constexpr char kLF = '\n';
inline constexpr char kTab = '\t';
inline constexpr std::string_view kLineBreak = "\r\n";

// --- Frame format ---------------------------------------------------------------------------

// "$00" + code + payload + CR, e.g. commandframe("19") is "$0019" CR.
std::string commandframe(std::string_view code, std::string_view payload = {});

// The script frame's head; the two length digits and the tokens follow it.
inline constexpr std::string_view kScriptFrameHead = "$0010";

// --- Command codes --------------------------------------------------------------------------

struct CommandCode {
    std::string_view code;     // e.g. "11"
    std::string_view frame;    // without the CR, e.g. "$0011"
    std::string_view sentBy;   // who sends it
    std::string_view tooltip;  // the button's tooltip; "" where the button has none
    // The reply code (characters 3 and 4 of the reply) that answers the frame: its own code,
    // except for the reset, which the adapter answers with its reset report "1A".
    std::string_view answer;
};
// Every command code the console sends, in code order ("00" to "19").
std::span<const CommandCode> commandcodes();
// The entry for `code`, or nullptr.
const CommandCode* findcommandcode(std::string_view code);
// The reply code that answers `frame` ("$00" + code ...); "" for a frame of no known code.
std::string_view answercode(std::string_view frame);

// --- The command buttons (`cmmd` array) -----------------------------------------------------

enum class ButtonAction : std::uint8_t {
    Preset,   // 0 to 17: a script of the loaded collection
    Frames,   // send the fixed frames, each with a pause of 10 hundredths
    Update,   // 28: the firmware bootloader window
    Rescan,   // 30: the port scan
    Compile,  // 255: compile and send the command queue
};

struct CommandButton {
    int index;
    std::string_view caption;
    std::string_view tooltip;  // "" for none
    ButtonAction action;
    std::span<const std::string_view> frames;  // with their CR; Ping has two
};

inline constexpr int kPresetButtons = 18;         // cmmd(0) to cmmd(17)
inline constexpr int kCommandButtons = 32;        // the cmmd array
inline constexpr int kCompileButton = 255;        // "Compile/Transmit"
inline constexpr std::int16_t kButtonPause = 10;  // hundredths after each fixed frame
inline constexpr std::int16_t kScriptPause = 1;   // hundredths after a script frame

// The buttons with a fixed role: 18 to 30 and 255, in index order.
std::span<const CommandButton> commandbuttons();
// The button of `index`; a preset button (0 to 17) gets an entry with an empty caption and
// no frames; nullptr for an index without a button.
std::optional<CommandButton> commandbutton(int index);

// --- Token codes (the instruction set of a script frame) -----------------------------------

enum class TokenArgument : std::uint8_t {
    None,
    Byte,        // two hexadecimal digits
    Millivolts,  // four hexadecimal digits
    Directions,  // four characters "0"/"1", pin 3 first
};

struct TokenCode {
    std::string_view code;  // two upper-case hexadecimal characters
    TokenArgument argument;
    int label;                 // index of its token label (Label2), -1 for none
    std::string_view caption;  // the label's caption; "" for none
    std::string_view tooltip;  // the label's tooltip; "" for none
    std::string_view meaning;  // what the adapter does, for documentation
};
// Every token code in code order.
std::span<const TokenCode> tokencodes();
const TokenCode* findtokencode(std::string_view code);
// The token of label `index` (0 to 31), or nullptr.
const TokenCode* tokenforlabel(int index);
inline constexpr int kTokenLabels = 32;

// Tooltip of the `tokencount` box.
inline constexpr std::string_view kTokenCountTooltip = "Maximum token count is 125";

}  // namespace sarnel
