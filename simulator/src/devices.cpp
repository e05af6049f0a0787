// The devices a bus can hold, and their names on the command line.
#include <cctype>
#include <string>

#include "sim/simulator.h"

namespace sim {

namespace {

bool sameletters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
    return true;
}

// A whole decimal number, or hexadecimal after "0x"/"0X"; -1 for anything else or above 0xFFFF.
long number(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 6) return -1;
    long v = 0;
    for (char c : text) {
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) return -1;
        v = v * base + d;
    }
    return v > 0xFFFF ? -1 : v;
}

}  // namespace

std::vector<Device> defaultDevices() {
    return {{DeviceKind::Lm75, 0x48}, {DeviceKind::Eeprom, 0x50}};
}

std::string_view deviceKindName(DeviceKind kind) {
    return kind == DeviceKind::Lm75 ? "lm75" : "eeprom";
}

std::optional<Device> deviceFromSpec(std::string_view spec, std::string* error) {
    auto fail = [&](std::string why) -> std::optional<Device> {
        if (error) *error = std::move(why);
        return std::nullopt;
    };
    const std::size_t at = spec.find('@');
    if (at == std::string_view::npos) return fail("a device is KIND@ADDRESS, e.g. lm75@0x49");
    const std::string_view kind = spec.substr(0, at);
    Device device{DeviceKind::Lm75, 0};
    if (sameletters(kind, "lm75"))
        device.kind = DeviceKind::Lm75;
    else if (sameletters(kind, "eeprom"))
        device.kind = DeviceKind::Eeprom;
    else
        return fail("the device kinds are lm75 and eeprom");
    const long address = number(spec.substr(at + 1));
    if (address < firstDeviceAddress || address > lastDeviceAddress)
        return fail("a device address is 7-bit, from 0x08 to 0x77");
    device.address = static_cast<std::uint8_t>(address);
    return device;
}

}  // namespace sim
