#include "bootloader.h"

#include <algorithm>

namespace sim {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool allHex(std::string_view s) {
    for (char c : s)
        if (hexValue(c) < 0) return false;
    return true;
}

}  // namespace

Bootloader::Verdict Bootloader::line(std::string_view text, std::chrono::microseconds flashTimePerLine,
                                     std::chrono::microseconds eraseTime) {
    if (text.size() > lineLimit) return {"Bl"};
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);

    if (text.empty() || text.front() == ';') return {"Bi"};
    if (text.front() == ':') return record(text.substr(1), flashTimePerLine);
    if (text == "E") {
        std::fill(memory_.begin(), memory_.end(), std::uint8_t{0xFF});
        base_ = 0;
        return {"Be", eraseTime};
    }
    if (text == "0007") return {"Br", {}, Action::LeaveToApplication};
    if (text == "00FF5A3C") {
        enter();
        return {"Bb"};
    }
    // The application's frames (ping, status, scripts...) reach a bootloader that is waiting
    // for data; it says so rather than rejecting them.
    if (text.size() >= 4 && text.substr(0, 2) == "00" && allHex(text.substr(2, 2))) return {"Bw"};
    return {"Bf"};
}

Bootloader::Verdict Bootloader::record(std::string_view hex, std::chrono::microseconds flashTimePerLine) {
    if (!allHex(hex) || hex.size() % 2 != 0) return {"Bf"};
    std::vector<std::uint8_t> b(hex.size() / 2);
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>(hexValue(hex[2 * i]) << 4 | hexValue(hex[2 * i + 1]));

    // count, address (2), type, data..., checksum
    if (b.size() < 5) return {"Bz"};
    const std::size_t count = b[0];
    const std::size_t received = b.size() - 5;
    if (received < count) return {"Bu"};
    if (received > count) return {"Bo"};
    std::uint8_t sum = 0;
    for (std::uint8_t v : b) sum = static_cast<std::uint8_t>(sum + v);
    if (sum != 0) return {"Bs"};
    if (count > maxRecordBytes) return {"Bl"};

    const std::uint32_t offset = static_cast<std::uint32_t>(b[1] << 8 | b[2]);
    const std::uint8_t* data = b.data() + 4;
    const std::uint32_t word = count >= 2 ? static_cast<std::uint32_t>(data[0] << 8 | data[1]) : 0;
    switch (b[3]) {
        case 0x00: {  // data
            const std::uint32_t address = base_ + offset;
            if (address >= highMemoryBase) return {"Bh"};
            if (address + count > programMemorySize) return {"Bl"};
            // Flash cells are only ever cleared by programming; setting bits takes an erase.
            for (std::size_t i = 0; i < count; ++i) memory_[address + i] &= data[i];
            return {"Ba", flashTimePerLine};
        }
        case 0x01:  // end of file
            if (count != 0) return {"Bf"};
            base_ = 0;
            return {"Bc"};
        case 0x02:  // extended segment address
            if (count != 2) return {"Bf"};
            base_ = word << 4;
            return {"Bx"};
        case 0x04:  // extended linear address
            if (count != 2) return {"Bf"};
            base_ = word << 16;
            return {"Bx"};
        case 0x03:  // start segment address, start linear address: no effect on programming
        case 0x05:
            if (count != 4) return {"Bf"};
            return {"Bx"};
        default:
            return {"Bf"};
    }
}

}  // namespace sim
