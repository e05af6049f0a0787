#include "console/bench/jsonout.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "console/base/textroutines.h"
#include "console/bench/transfer.h"
#include "console/responses/decoder.h"

namespace sarnel::bench {

namespace {

using Json = nlohmann::ordered_json;

// ISO 8859-1 bytes as UTF-8: every byte is the character of its code.
std::string utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

// Characters of the reply, positions from 1; missing ones are "".
std::string_view mid(std::string_view text, std::size_t pos, std::size_t length) {
    if (pos < 1 || pos > text.size()) return {};
    return text.substr(pos - 1, length);
}

// "0" and "1" as 0 and 1, anything else (missing included) null.
Json bit(char c) {
    if (c == '0' || c == '1') return c - '0';
    return nullptr;
}

Json bitat(std::string_view text, std::size_t pos) {
    const std::string_view c = mid(text, pos, 1);
    return c.empty() ? Json(nullptr) : bit(c[0]);
}

// A status flag: a digit compared with 0, anything else null.
Json flag(std::string_view reply, std::size_t pos, Json off, Json on) {
    const std::string_view c = mid(reply, pos, 1);
    if (c.empty() || c[0] < '0' || c[0] > '9') return nullptr;
    return c[0] == '0' ? off : on;
}

Json nullable(const std::optional<std::uint8_t>& v) {
    return v ? Json(*v) : Json(nullptr);
}

Json acknowledge(const ResultItem& item) {
    const auto a = acknowledgement(item);
    return a ? Json(*a) : Json(nullptr);
}

Json item(const ResultItem& it) {
    Json j;
    const char second = it.second;
    switch (it.kind) {
        case ItemKind::BadToken:
            j["type"] = "bad-token";
            j["token"] = utf8(it.pair);
            break;
        case ItemKind::Speed:
            j["type"] = "speed";
            j["speed"] = it.mark == '0' ? 100 : 400;
            break;
        case ItemKind::Gpio:
            j["type"] = "gpio";
            j["pin"] = it.mark - '2';
            j["level"] = bit(second);
            break;
        case ItemKind::Interrupt:
            j["type"] = "interrupt";
            j["level"] = bit(second);
            break;
        case ItemKind::Supply: {
            static constexpr double kVolts[] = {0, 2.5, 3.0, 3.5, 4.0, 5.0};
            j["type"] = "supply";
            const bool known = second >= '0' && second <= '5';
            j["open"] = known ? Json(second == '0') : Json(nullptr);
            j["volts"] = known && second != '0' ? Json(kVolts[second - '0']) : Json(nullptr);
            break;
        }
        case ItemKind::Drive:
        case ItemKind::Line: {
            j["type"] = it.kind == ItemKind::Drive ? "drive" : "line";
            const bool known = second >= '0' && second <= '3';
            j["line"] = known ? Json(second < '2' ? "scl" : "sda") : Json(nullptr);
            j["level"] = known ? Json((second - '0') % 2) : Json(nullptr);
            break;
        }
        case ItemKind::Start:
            j["type"] = "start";
            break;
        case ItemKind::Stop:
            j["type"] = "stop";
            break;
        case ItemKind::Write:
        case ItemKind::Read:
            j["type"] = it.kind == ItemKind::Write ? "write" : "read";
            j["byte"] = nullable(itembyte(it));
            j["ack"] = acknowledge(it);
            break;
        case ItemKind::DelayMicro:
        case ItemKind::DelayMilli:
            j["type"] = "delay";
            j["value"] = nullable(itembyte(it));
            j["unit"] = it.kind == ItemKind::DelayMicro ? "us" : "ms";
            break;
        case ItemKind::Pins: {
            j["type"] = "pins";
            j["interrupt"] = bitat(it.data, 1);
            Json gpio = Json::array();
            for (std::size_t pin = 0; pin < 4; ++pin) gpio.push_back(bitat(it.data, 5 - pin));
            j["gpio"] = gpio;
            break;
        }
        case ItemKind::Directions: {
            j["type"] = "directions";
            Json gpio = Json::array();
            for (std::size_t pin = 0; pin < 4; ++pin) gpio.push_back(bitat(it.data, 4 - pin));
            j["gpio"] = gpio;
            break;
        }
        case ItemKind::DirectionsSet:
            j["type"] = "directions-set";
            break;
        case ItemKind::Other:
            j["type"] = "unknown";
            j["char"] = utf8(std::string_view(&it.mark, 1));
            break;
    }
    return j;
}

void fields(Json& j, std::string_view code, std::string_view r) {
    auto lowercaseE = [&] {
        const std::string_view c = mid(r, 5, 1);
        return !c.empty() && (c[0] == 'e' || c[0] == 'E');
    };
    if (code == "00") {
        j["device"] = utf8(mid(r, 5, 4));
        j["revision"] = utf8(mid(r, 9, 2));
        j["version"] = utf8(mid(r, 11, 2));
    } else if (code == "10") {
        Json items = Json::array();
        for (std::size_t i = 5; i <= r.size();) {
            const ResultItem it = resultitem(r, i);
            items.push_back(item(it));
            i += it.advance;
        }
        j["items"] = items;
    } else if (code == "11") {
        j["stored"] = !lowercaseE();
    } else if (code == "12") {
        j["replayed"] = !lowercaseE();
    } else if (code == "13" || code == "14") {
        j["edge"] = code == "13" ? "high-to-low" : "low-to-high";
    } else if (code == "15" || code == "16") {
        j["trigger"] = code == "15";
    } else if (code == "17" || code == "18") {
        j["speed"] = code == "17" ? 100 : 400;
    } else if (code == "19") {
        // As the status lines read them: a volts digit and three digits of thousandths.
        j["volts"] = leadingnumber(mid(r, 5, 1)) + leadingnumber(mid(r, 6, 3)) / 1000.0;
        j["speed"] = flag(r, 9, 100, 400);
        j["trigger"] = flag(r, 10, false, true);
        j["edge"] = flag(r, 11, "high-to-low", "low-to-high");
    } else if (code == "1A") {
        const auto cause = static_cast<std::int16_t>(hextonum(mid(r, 5, 2)));
        j["cause"] = cause;
        j["reset"] = (cause & 8) == 8 ? "power-up" : "watchdog";
    } else if (code == "20") {
        j["interrupt"] = bitat(r, 6);
    }
}

}  // namespace

std::string replyjson(double t, std::string_view reply, std::string_view lines) {
    Json j;
    j["t"] = std::round(t * 1e6) / 1e6;
    const std::string_view code = mid(reply, 3, 2);
    j["code"] = utf8(code);
    fields(j, code, reply);
    j["text"] = utf8(lines);
    j["reply"] = utf8(reply);
    return j.dump();
}

std::string scanjson(const std::vector<std::uint8_t>& found) {
    Json j;
    j["found"] = found;
    return j.dump();
}

std::string registerjson(const RegisterAddress& at, const std::vector<std::uint8_t>& data) {
    Json j;
    j["addr"] = at.device;
    j["reg"] = at.reg;
    j["data"] = data;
    return j.dump();
}

}  // namespace sarnel::bench
