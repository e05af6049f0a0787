#include "console/bootloader/replies.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>

#include "console/responses/decoder.h"

namespace sarnel::boot {

namespace {

struct VerdictRow {
    char letter;
    const char* meaning;
    Rgb colour;
};

// The texts are shown as they stand: "nn" and "xxxx" are not filled in.
constexpr std::array<VerdictRow, 15> kVerdicts{{
    {'b', "Bootloader entry from reset", kBlue},
    {'w', "Bootloader waiting for data", kBlue},
    {'i', "';xxxx' Comment line ignored", kBlue},
    {'e', "Application ROM erased", kBlue},
    {'c', "Programming complete", kBlue},
    {'r', "Forced CPU reset", kBlue},
    {'a', "':nn' Data bytes received=nn, frame accepted", kGreen},
    {'x', "':nn' Extended record read without errors", kBlue},
    {'h', "':nn' High ROM write ignored (Usually fuses)", kBlue},
    {'z', "':nn' No dd/cc bytes received, frame rejected", kRed},
    {'u', "':nn' Data bytes received<nn, frame rejected", kRed},
    {'o', "':nn' Data bytes received>nn, frame rejected", kRed},
    {'s', "':nn' Checksum mismatch, frame rejected", kRed},
    {'l', "':nn' Data line limit reached, frame rejected", kRed},
    {'f', "'X---' Not command or hex data, frame rejected", kRed},
}};

}  // namespace

std::optional<ReplyDisplay> decodeReply(std::string_view reply) {
    if (reply.size() < 2) return std::nullopt;
    if (reply.substr(0, 2) == "00") {
        std::string code(reply.substr(2, 2));
        if (reply.substr(0, 4) == "0000") return ReplyDisplay{code, "App: Firmware ID querry", kYellow};
        if (reply.substr(0, 4) == "0006") {
            const std::int32_t value = textvalue(reply.size() > 4 ? reply.substr(4, 2) : std::string_view{});
            return ReplyDisplay{
                code, "App: Reset cause=" + resetcause("2520", static_cast<std::int16_t>(value)), kYellow};
        }
        return std::nullopt;
    }
    if (reply[0] != 'B') return std::nullopt;
    for (const VerdictRow& row : kVerdicts) {
        if (row.letter == reply[1]) return ReplyDisplay{std::string(1, row.letter), row.meaning, row.colour};
    }
    return std::nullopt;
}

namespace {

double luminance(Rgb c) {
    auto linear = [](std::uint8_t v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b);
}

}  // namespace

double contrastratio(Rgb a, Rgb b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Rgb textcolour(Rgb background) {
    return contrastratio(background, kBlack) >= contrastratio(background, kWhite) ? kBlack : kWhite;
}

std::int32_t textvalue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<std::int32_t>(value);
}

std::string errorcounttext(std::int32_t count) {
    return zeropad(count, 2);
}

std::string resetcause(const std::string& model, std::int16_t cause) {
    const std::int32_t m = textvalue(model);
    const bool known = m == 0 || m == 2520 || m == 4520 || m == 8527;
    if (known) {
        switch (cause) {
            case -1:
                return "0:Unknown 1:PowerUp 2:MCLR 3:WDT 4:Brownout 5:ResetInstr 6:StackUnd 7:StackOvr";
            case 1:
                return "01: Power up";
            case 2:
                return "02: MCLR pin";
            case 3:
                return "03: WatchDog Timer";
            case 4:
                return "04: Vdd Brownout";
            case 5:
                return "05: Reset instruction";
            case 6:
                return "06: Stack underflow";
            case 7:
                return "07: Stack overflow";
            default:
                break;
        }
    }
    return errorcounttext(cause) + ": Unknown reset source";
}

}  // namespace sarnel::boot
