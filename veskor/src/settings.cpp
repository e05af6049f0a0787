#include "settings.h"

#include <string>
#include <vector>

namespace veskor {

namespace {

constexpr std::int32_t kRates[] = {110,   300,   600,   1200,  2400,  4800,   9600,   14400,
                                   19200, 28800, 38400, 56000, 57600, 115200, 128000, 256000};

std::string_view strip(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// The leading decimal number: optional sign, digits, anything after ignored; 0 without digits.
// Values beyond 32 bits saturate (they are no accepted value either way).
std::int64_t leadingNumber(std::string_view s) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    std::int64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > 0xFFFFFFFFLL) v = 0xFFFFFFFFLL;
    }
    return negative ? -v : v;
}

}  // namespace

bool isAcceptedRate(std::int32_t rate) {
    for (std::int32_t r : kRates)
        if (r == rate) return true;
    return false;
}

LineSettings resolveSettings(std::string_view text, LineSettings current) {
    if (text.empty()) return current;
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        std::size_t comma = text.find(',', start);
        fields.push_back(strip(text.substr(start, comma == std::string_view::npos ? comma : comma - start)));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (fields.size() != 4) return current;

    LineSettings s = current;
    std::int64_t rate = leadingNumber(fields[0]);
    if (rate >= 0 && rate <= 0x7FFFFFFF && isAcceptedRate(static_cast<std::int32_t>(rate)))
        s.baudRate = static_cast<std::int32_t>(rate);
    std::int64_t bits = leadingNumber(fields[2]);
    if (bits >= 5 && bits <= 8) s.dataBits = static_cast<std::int16_t>(bits);
    if (fields[1].size() == 1) {
        switch (fields[1][0]) {
            case 'N':
            case 'n':
                s.parity = 0;
                break;
            case 'O':
            case 'o':
                s.parity = 1;
                break;
            case 'E':
            case 'e':
                s.parity = 2;
                break;
            case 'M':
            case 'm':
                s.parity = 3;
                break;
            case 'S':
            case 's':
                s.parity = 4;
                break;
            default:
                break;
        }
    }
    if (fields[3] == "1")
        s.stopCode = 0;
    else if (fields[3] == "1.5")
        s.stopCode = 1;
    else if (fields[3] == "2")
        s.stopCode = 2;
    return s;
}

}  // namespace veskor
