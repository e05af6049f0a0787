// A value out of the bytes a script read: one byte, or two in either order, signed or not,
// times a scale. An LM75's temperature is two bytes big-endian, signed, scale 1/256 (0x19 0x80
// gives 25.5).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace sarnel::bench {

struct ValuePick {
    std::size_t offset = 0;  // the first byte's index among the bytes read
    int width = 1;           // 1 or 2
    bool bigEndian = true;   // two bytes: the first is the high byte
    bool isSigned = false;   // two's complement
    double scale = 1.0;      // the number times this
};

// The bytes a script's reply ("10") read, in order: every read item whose byte is two
// hexadecimal digits.
std::vector<std::uint8_t> readbytes(std::string_view reply);

// The value, or nullopt when the bytes do not reach that far or the width is not 1 or 2.
std::optional<double> pickvalue(const std::vector<std::uint8_t>& bytes, const ValuePick& pick);

}  // namespace sarnel::bench
