// The text routines (textroutines.h): cleanspaces, getfield, hextonum, numtohex, dbltohex and the
// leading-number rule.
#include "console/base/textroutines.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "console/base/timing.h"

namespace sarnel {

namespace {

int hexdigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool isdigit(char c) {
    return c >= '0' && c <= '9';
}

// A copy of `text` without leading spaces and with every run of spaces reduced to one.
std::string squeezespaces(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool space = true;  // drops the leading ones
    for (char c : text) {
        if (c == ' ') {
            if (!space) out.push_back(' ');
            space = true;
        } else {
            out.push_back(c);
            space = false;
        }
    }
    return out;
}

bool startswith(std::string_view text, std::size_t at, std::string_view sep) {
    return text.size() - at >= sep.size() && text.compare(at, sep.size(), sep) == 0;
}

std::string trimfield(std::string& text, const std::string& sep) {
    if (text.empty()) return text;
    std::size_t front = 0;
    while (front < text.size() && startswith(text, front, sep)) front += sep.size();
    text.erase(0, front);
    if (text.size() < 2) return text;
    std::size_t end = text.size();
    while (end >= sep.size() && text.compare(end - sep.size(), sep.size(), sep) == 0) end -= sep.size();
    return text.substr(0, end);
}

std::string countfields(std::string_view text, std::string_view sep) {
    if (text.empty()) return "0";
    std::size_t separators = 0;
    for (std::size_t at = text.find(sep); at != std::string_view::npos;
         at = text.find(sep, at + sep.size())) {
        ++separators;
    }
    if (separators == 0) return "1";
    std::size_t fields = separators + 1;
    if (text.size() >= sep.size() && text.compare(text.size() - sep.size(), sep.size(), sep) == 0) --fields;
    return std::to_string(fields);
}

std::string field(std::string_view text, std::int32_t n, std::string_view sep) {
    std::size_t begin = 0;
    for (std::int32_t k = 1; k < n; ++k) {
        const std::size_t at = text.find(sep, begin);
        if (at == std::string_view::npos) return "";
        begin = at + sep.size();
    }
    const std::size_t end = text.find(sep, begin);
    return std::string(
        text.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));
}

constexpr int kMaxFieldIndex = 8000;
constexpr double kMaxHexValue = 2251799813685247.0;   // 2^51 - 1
constexpr double kMinHexValue = -2251799813685248.0;  // -2^51
constexpr std::int64_t kTwoPow52 = std::int64_t{1} << 52;

// Digits of a "&H" or "&O" number from `at`, limited to 2^1023 so that it stays finite.
double radixnumber(std::string_view text, std::size_t at, int radix) {
    double value = 0;
    for (; at < text.size(); ++at) {
        const int d = hexdigit(text[at]);
        if (d < 0 || d >= radix) break;
        value = std::fmin(value * radix + d, 0x1p1023);
    }
    return value;
}

}  // namespace

std::string cleanspaces(const std::string& text) {
    if (text.empty()) return text;
    std::string out;
    out.reserve(text.size());
    bool collapsed = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t tab = text.find('\t', pos);
        if (tab == std::string::npos) {
            out.append(text, pos, std::string::npos);
            break;
        }
        out.append(text, pos, tab - pos);
        out.push_back(' ');
        pos = text.find_first_not_of('\t', tab);
        if (pos == std::string::npos) pos = text.size();
        collapsed = collapsed || pos - tab > 1;
    }
    // Long runs of tabs are collapsed in one pass (not pair by pair), so the window's events
    // get their turn once rather than once per pair.
    if (collapsed) processEvents();
    const std::size_t end = out.find_last_not_of(' ');
    out.erase(end == std::string::npos ? 0 : end + 1);
    return out;
}

std::string getfield(std::string& text, std::int32_t n, std::string& separator) {
    if (n == -1) return trimfield(text, separator.empty() ? std::string(" ") : separator);
    std::string words;
    std::string_view work = text;
    if (separator.empty() || separator == " ") {
        separator = " ";
        words = squeezespaces(text);
        work = words;
    }
    if (n <= 0) return countfields(work, separator);
    if (n > kMaxFieldIndex) return "";
    return field(work, n, separator);
}

std::string getfield(const std::string& text, std::int32_t n, const std::string& separator) {
    std::string t = text;
    std::string s = separator;
    return getfield(t, n, s);
}

double hextonum(std::string_view text) {
    constexpr std::size_t kKept = 200;
    int digits[kKept];
    std::size_t count = 0;  // digits seen; the last kKept of them sit in a ring
    for (char c : text) {
        const int d = hexdigit(c);
        if (d >= 0) digits[count++ % kKept] = d;
    }
    const std::size_t kept = count < kKept ? count : kKept;
    double value = 0;
    for (std::size_t k = 0; k < kept; ++k) {
        value += std::ldexp(digits[(count - 1 - k) % kKept], static_cast<int>(4 * k));
    }
    return value;
}

std::string dbltohex(double value) {
    if (std::isnan(value)) return "X0";
    std::string out;
    if (value > kMaxHexValue) {
        value = kMaxHexValue;
        out = "X";
    } else if (value < kMinHexValue) {
        value = kMinHexValue;
        out = "X";
    }
    std::int64_t whole = static_cast<std::int64_t>(std::floor(value));
    if (whole < 0) whole += kTwoPow52;
    char digits[16];
    const auto r = std::to_chars(digits, digits + sizeof digits, static_cast<std::uint64_t>(whole), 16);
    for (char* p = digits; p != r.ptr; ++p) out.push_back(*p >= 'a' ? static_cast<char>(*p - 'a' + 'A') : *p);
    return out;
}

std::string numtohex(double value, std::int16_t width) {
    if (width < 1) return "";
    const std::size_t w = static_cast<std::size_t>(width);
    std::string out(w, '0');
    out += dbltohex(value);
    return out.substr(out.size() - w);
}

double leadingnumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
    if (i + 1 < text.size() && text[i] == '&') {
        const char r = text[i + 1];
        if (r == 'H' || r == 'h') return radixnumber(text, i + 2, 16);
        if (r == 'O' || r == 'o') return radixnumber(text, i + 2, 8);
        return 0;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

    // Mantissa: leading zeros dropped, so that the digit count before the point says how
    // large the number is.
    std::string mantissa;
    std::int64_t pointShift = 0;  // decimal exponent contributed by the digits' position
    bool anyDigit = false;
    while (i < text.size() && text[i] == '0') {
        ++i;
        anyDigit = true;
    }
    for (; i < text.size() && isdigit(text[i]); ++i, anyDigit = true) mantissa.push_back(text[i]);
    if (i < text.size() && text[i] == '.') {
        ++i;
        for (; i < text.size() && isdigit(text[i]); ++i, anyDigit = true) {
            if (mantissa.empty() && text[i] == '0') {
                --pointShift;  // zeros right after the point only scale the number
                continue;
            }
            mantissa.push_back(text[i]);
            --pointShift;
        }
    }
    if (!anyDigit) return 0;
    if (mantissa.empty()) return negative ? -0.0 : 0.0;

    constexpr std::int64_t kExponentLimit = 1'000'000'000;  // far beyond any double
    std::int64_t exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        std::size_t j = i + 1;
        bool expNegative = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) expNegative = text[j++] == '-';
        for (; j < text.size() && isdigit(text[j]); ++j) {
            if (exponent < kExponentLimit) exponent = exponent * 10 + (text[j] - '0');
        }
        if (expNegative) exponent = -exponent;
    }
    exponent += pointShift;

    // The number is 0.mantissa times 10^(mantissa digits + exponent).
    const std::int64_t magnitude = static_cast<std::int64_t>(mantissa.size()) + exponent;
    double value;
    if (magnitude > 310) {
        value = std::numeric_limits<double>::infinity();
    } else if (magnitude < -330) {
        value = 0;
    } else {
        const std::string digits = mantissa + "e" + std::to_string(exponent);
        const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (r.ec == std::errc::result_out_of_range)
            value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0;
    }
    return negative ? -value : value;
}

}  // namespace sarnel
