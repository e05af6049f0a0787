// The console's text routines: fields of a text, hexadecimal and leading numbers, spaces.
// The compiler, the decoder, the bootloader and the windows all use them.
//
// Texts are bytes (ISO 8859-1 characters).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sarnel {

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

}  // namespace sarnel
