// The reply decoder: cuts the adapter's replies ("!", text, CR) out of the receive buffer and
// turns each into lines of the bus activity list.
//
// Everything here runs on the window's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sarnel {

// --- Cutting replies ------------------------------------------------------------------------

// Takes the next reply out of `buffer`: the text between the last start mark before the first
// end mark and that end mark. Returns "" when there is none yet (the incomplete tail stays,
// cut to begin at its last start mark) and removes from the front of `buffer` what it
// consumed: end marks at the front, garbage before a start mark, the reply and its end mark.
// A rest after the reply that holds no start mark is dropped. The marks are not changed; an
// empty mark returns "" and leaves the buffer alone.
std::string gettoken(const std::string& startmark, const std::string& endmark, std::string& buffer);

// gettoken("!", CR, buffer) over the part of `buffer` from `pos` on: the same reply and the
// same cuts, except that what would be removed from the front is skipped by advancing `pos`,
// so a caller can take many replies out of one buffer and erase the consumed front once.
std::string_view nextreply(const std::string& buffer, std::size_t& pos);

// --- Numbers --------------------------------------------------------------------------------

// `value` rounded to a whole number (halves away from zero) with at least `width` digits:
// the last `width` characters of zeros and the number; a negative number keeps its "-" and
// the last width - 1 digits. Width below 1 gives the number as it is. zeropad(7, 3) is
// "007", zeropad(1234, 3) "234", zeropad(-5, 3) "-05".
std::string zeropad(double value, std::int16_t width);

// --- Result items of a script frame's reply -------------------------------------------------

// What a result item of a "10" reply answers, by its item character.
enum class ItemKind : std::uint8_t {
    BadToken,       // "?" + the refused code (pair)
    Speed,          // "0" slow, "1" fast (the mark)
    Gpio,           // "2" to "5": pin 0 to 3; second "0"/"1": its level
    Interrupt,      // "6"; second: the interrupt input's level
    Supply,         // "7"; second "0" to "5": Open, 2.5, 3.0, 3.5, 4.0, 5.0 V
    Drive,          // "8"; second "0" to "3": SCL0, SCL1, SDA0, SDA1
    Line,           // "9"; second "0" to "3": SCL read 0, 1, SDA read 0, 1
    Start,          // "s", "S"
    Stop,           // "p", "P"
    Write,          // "w", "W" + pair (the byte) + acknowledge
    Read,           // "r", "R" + pair (the byte) + acknowledge
    DelayMicro,     // "D" + pair
    DelayMilli,     // "d" + pair
    Pins,           // "A0" + interrupt, GP3, GP2, GP1, GP0 (data)
    Directions,     // "A1" + GP3, GP2, GP1, GP0 (data)
    DirectionsSet,  // "A2" + one character
    Other,          // a character that begins no item (also "A" before any other character)
};

// One result item as the decoder reads it. The views point into the reply; characters beyond
// its end are missing (a view shorter than described, or '\0').
struct ResultItem {
    ItemKind kind = ItemKind::Other;
    char mark = '\0';       // the item character
    char second = '\0';     // the character after it
    char ack = '\0';        // Write, Read: the fourth character, "a"/"A" or "n"/"N"
    std::string_view pair;  // the two characters after the item character
    std::string_view data;  // Pins: the 5 characters after "A0"; Directions: the 4 after "A1"
    std::size_t advance = 1;
};

// The result item at position `pos` (counted from 1, at most the reply's length) of the reply
// text `reply`: the one walk of the item table, shared by the bus activity lines and every
// other reading of a script's results. The next item begins at pos + advance.
ResultItem resultitem(std::string_view reply, std::size_t pos);

// --- Decoding -------------------------------------------------------------------------------

// The main window's side of process: the bus activity list `i2cparser`, the RXD window and
// the "Continuous Rx" check box.
class BusActivity {
public:
    virtual ~BusActivity() = default;
    // Empties the bus activity list.
    virtual void clear() = 0;
    // Appends to the end of the bus activity list (no line end is added).
    virtual void append(std::string_view text) = 0;
    // Replaces the text of the RXD window.
    virtual void setRxd(std::string_view text) = 0;
    // The state of "Continuous Rx".
    virtual bool continuousRx() = 0;
    // Called by process for every reply it takes out of the receive buffer, once its lines
    // have been appended: the reply text (without "!" and CR) and the lines it added (for a
    // reply that could not be decoded, those made before the failure). For session logs and
    // bench tools, which need every reply rather than the RXD window's last one.
    virtual void replied(std::string_view reply, std::string_view lines) {
        (void)reply;
        (void)lines;
    }
};

// A BusActivity that keeps the texts, for sarnel-cli, tests and benchmarks.
class ActivityText final : public BusActivity {
public:
    void clear() override { text.clear(); }
    void append(std::string_view t) override { text.append(t); }
    void setRxd(std::string_view t) override { rxd.assign(t); }
    bool continuousRx() override { return continuous; }

    std::string text;
    std::string rxd;
    bool continuous = false;
};

// The index with which the receive path asks for decoding; any other index does nothing.
inline constexpr std::int16_t kProcessAll = 255;

// Decodes every complete reply in the receive buffer `rxbuffer` into `activity`, removing
// each from its front, in time linear in the buffer's length. The raw reply goes to the RXD
// window as "!" reply "[cr]". A failure while decoding a reply (a status flag that is not a
// digit) is reported with the alert "Process error" (style 2, font size 12) and ends the
// call: that reply is lost, the rest waits for the next call. `datain` is not used; an index
// other than 255 does nothing.
void process(std::int16_t index, const std::string& datain, BusActivity& activity, std::string& rxbuffer);

// Decodes one reply text (without "!" and CR) into `activity`; throws ConsoleError where
// process reports "Process error".
void decodereply(std::string_view reply, BusActivity& activity);
// The same, collecting the reply's lines in `scratch` (reused between calls), which holds
// them afterwards, also after a failure.
void decodereply(std::string_view reply, BusActivity& activity, std::string& scratch);

}  // namespace sarnel
