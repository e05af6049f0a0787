#include "console/bench/optionvalues.h"

#include <cstdio>

namespace sarnel::bench {

namespace {

std::string hex2(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", v & 0xFFu);
    return text;
}

// What `text` says for a message: quoted, and cut when it is long.
std::string shown(std::string_view text) {
    constexpr std::size_t kShown = 40;
    std::string s(text.substr(0, kShown));
    if (text.size() > kShown) s += "...";
    return "'" + s + "'";
}

}  // namespace

std::optional<std::uint64_t> parsenumber(std::string_view text, std::uint64_t max) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : text) {
        unsigned d = 16;
        if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
        if (base == 16 && c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
        if (base == 16 && c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
        if (d >= base) return std::nullopt;
        if (d > max || v > (max - d) / base) return std::nullopt;  // v * base + d would pass max
        v = v * base + d;
    }
    return v;
}

std::optional<std::uint8_t> parseaddress(std::string_view text, std::string& why) {
    const auto v = parsenumber(text, 0xFF);
    if (v && *v <= 0x7F) return static_cast<std::uint8_t>(*v);
    why = "a 7-bit address from 0x00 to 0x7F, not " + shown(text);
    // An address byte as scripts write it, with the read/write bit.
    if (v)
        why += " (" + hex2(static_cast<unsigned>(*v)) + " is the " + (*v & 1 ? "read" : "write") +
               " address byte of " + hex2(static_cast<unsigned>(*v >> 1)) + ")";
    return std::nullopt;
}

std::optional<std::uint16_t> parseregister(std::string_view text, bool reg16, std::string& why) {
    const auto v = parsenumber(text, reg16 ? 0xFFFF : 0xFF);
    if (v) return static_cast<std::uint16_t>(*v);
    why = reg16 ? "a 16-bit register address from 0x0000 to 0xFFFF, not " + shown(text)
                : "a register address from 0x00 to 0xFF (--reg16 for 16-bit ones), not " + shown(text);
    return std::nullopt;
}

std::optional<std::size_t> parsecount(std::string_view text, std::string& why) {
    const auto v = parsenumber(text, kMaxTransferBytes);
    if (v && *v >= 1) return static_cast<std::size_t>(*v);
    why = "a byte count from 1 to " + std::to_string(kMaxTransferBytes) + ", not " + shown(text);
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> parsedata(std::string_view text, std::string& why) {
    std::vector<std::uint8_t> bytes;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string_view item =
            text.substr(start, comma == std::string_view::npos ? comma : comma - start);
        const auto v = parsenumber(item, 0xFF);
        if (!v) {
            why = "bytes from 0x00 to 0xFF separated by commas; byte " + std::to_string(bytes.size() + 1) +
                  " is " + shown(item);
            return std::nullopt;
        }
        if (bytes.size() == kMaxTransferBytes) {
            why = "at most " + std::to_string(kMaxTransferBytes) + " bytes";
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(*v));
        if (comma == std::string_view::npos) return bytes;
        start = comma + 1;
    }
}

std::optional<std::uint64_t> parserepeat(std::string_view text, std::string& why) {
    const auto v = parsenumber(text, kMaxRepeat);
    if (v) return v;
    why = "a count from 0 (until interrupted) to " + std::to_string(kMaxRepeat) + ", not " + shown(text);
    return std::nullopt;
}

std::optional<long> parsemilliseconds(std::string_view text, std::string& why) {
    const auto v = parsenumber(text, static_cast<std::uint64_t>(kMaxMilliseconds));
    if (v) return static_cast<long>(*v);
    why = "milliseconds from 0 to " + std::to_string(kMaxMilliseconds) + ", not " + shown(text);
    return std::nullopt;
}

}  // namespace sarnel::bench
