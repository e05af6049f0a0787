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
// The same, collecting each reply's text in `scratch` (reused between calls).
void decodereply(std::string_view reply, BusActivity& activity, std::string& scratch);

}  // namespace sarnel
