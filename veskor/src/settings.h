// The settings string of Open: "baud,parity,data,stop", such as "115200,n,8,1".
#pragma once

#include <cstdint>
#include <string_view>

namespace veskor {

struct LineSettings {
    std::int32_t baudRate = 9600;
    std::int16_t dataBits = 8;
    std::int16_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::int16_t stopCode = 0;  // 0 one, 1 one and a half, 2 two

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

bool isAcceptedRate(std::int32_t rate);

// The settings a string asks for, starting from `current`. Exactly four comma-separated fields
// are needed, else the string is ignored whole; spaces (only) around fields do not count; each
// field that is not acceptable keeps its current value.
LineSettings resolveSettings(std::string_view text, LineSettings current);

// Stop-bit code 2 with 5 data bits and code 1 with 6 to 8 are not valid line formats.
constexpr bool validFormat(std::int16_t dataBits, std::int16_t stopCode) {
    return !((stopCode == 2 && dataBits == 5) || (stopCode == 1 && dataBits > 5));
}

}  // namespace veskor
