// Generated application images for end-to-end tests and benchmarks: Intel HEX text with
// extended-address, data, comment, blank, high-memory and end-of-file records, and the
// program memory the file should leave behind.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace boottest {

struct HexImage {
    std::vector<std::string> lines;
    std::vector<std::uint8_t> memory;  // the program memory after flashing, from address 0
    int dataLines = 0, extendedLines = 0, highLines = 0, commentLines = 0;
};

inline std::string hexrecord(std::uint16_t address, std::uint8_t type,
                             const std::vector<std::uint8_t>& data) {
    char buf[16];
    std::uint32_t sum = static_cast<std::uint32_t>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    std::snprintf(buf, sizeof buf, ":%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
    std::string line = buf;
    for (std::uint8_t b : data) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        line += buf;
        sum += b;
    }
    std::snprintf(buf, sizeof buf, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + buf;
}

// dataRecords records of 16 bytes from address 0 (at most 2048 fit the 32 KiB memory), with a
// comment and a blank line every 500 records, an extended segment and an extended linear
// address record, a few configuration records in high memory, the end record, and
// `trailing` lines after it.
inline HexImage makeimage(int dataRecords, std::size_t memorySize, int trailing = 0) {
    HexImage image;
    image.memory.assign(memorySize, 0xFF);
    image.lines.push_back("; generated application image");
    image.commentLines++;
    image.lines.push_back(hexrecord(0, 0x02, {0x00, 0x00}));  // segment 0
    image.lines.push_back(hexrecord(0, 0x04, {0x00, 0x00}));  // linear 0
    image.extendedLines += 2;
    std::uint32_t seed = 12345;
    for (int r = 0; r < dataRecords; ++r) {
        if (r > 0 && r % 500 == 0) {
            image.lines.push_back(";block " + std::to_string(r / 500));
            image.lines.push_back("");
            image.commentLines += 2;
        }
        const std::uint32_t address = static_cast<std::uint32_t>(r) * 16;
        std::vector<std::uint8_t> data(16);
        for (auto& b : data) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(seed >> 16);
        }
        for (std::size_t k = 0; k < data.size(); ++k) image.memory[address + k] = data[k];
        image.lines.push_back(hexrecord(static_cast<std::uint16_t>(address), 0x00, data));
        image.dataLines++;
    }
    // Configuration words at 0x300000 and ID words at 0x200000: high memory.
    image.lines.push_back(hexrecord(0, 0x04, {0x00, 0x30}));
    image.lines.push_back(hexrecord(0, 0x00, {0x00, 0x22, 0x1F, 0x1E, 0x00, 0x81}));
    image.lines.push_back(hexrecord(8, 0x00, {0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40}));
    image.lines.push_back(hexrecord(0, 0x04, {0x00, 0x20}));
    image.lines.push_back(hexrecord(0, 0x00, {0x01, 0x02, 0x03, 0x04}));
    image.extendedLines += 2;
    image.highLines += 3;
    image.lines.push_back(":00000001FF");
    for (int t = 0; t < trailing; ++t) image.lines.push_back(hexrecord(0, 0x00, {0xAA}));
    return image;
}

}  // namespace boottest
