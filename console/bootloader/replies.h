// The bootloader's verdicts and the two application replies the bootloader window decodes,
// as data, and the reset-cause text. Pure functions: no window, no port.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "console/bootloader/bootview.h"

namespace sarnel::boot {

// One row of the bootloader reply table: what `responsecode` and `responsedecode` show.
struct ReplyDisplay {
    std::string code;     // text of responsecode
    std::string meaning;  // text of responsedecode
    Rgb colour;           // background of responsecode
};

// How a reply text is shown: bootloader verdicts by their first two characters ("Bb" ... "Bf"),
// application replies beginning with "0000" (identification) and "0006" (reset cause).
// Nothing for any other reply, which leaves the display as it was.
std::optional<ReplyDisplay> decodeReply(std::string_view reply);

// The text colour that reads on `background` whatever the desktop's theme: black or white,
// whichever has the higher contrast ratio with it.
Rgb textcolour(Rgb background);
// The contrast ratio of two colours (relative luminance of sRGB), from 1 (none) to 21 (black
// on white).
double contrastratio(Rgb a, Rgb b);

// The value of a text as a whole number: leading spaces skipped, an optional sign, then the
// decimal digits at its start; 0 when there are none. Saturates at the 32-bit limits.
std::int32_t textvalue(std::string_view text);

// The reset cause as text, for processor `model` (its numeric value: 0, 2520, 4520 and 8527
// know the causes 1 to 7, and -1 lists them all).
std::string resetcause(const std::string& model, std::int16_t cause);

// The error log's count prefix: the last two decimal digits, with a leading zero ("07", 123
// gives "23").
std::string errorcounttext(std::int32_t count);

}  // namespace sarnel::boot
