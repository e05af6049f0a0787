// The values the bench tools take from a user (sarnel-cli's options, a window's fields): bus
// addresses, register addresses, byte counts, data lists, repeat counts and intervals.
//
// Numbers are written as in scripts: decimal ("72", "010" is ten) or hexadecimal after "0x"
// ("0x48", either case). Unlike a script's values, which are reduced or read as 0, a value
// here is taken whole or refused: a refusal returns nullopt and sets `why` to what was
// expected, e.g. "a 7-bit address from 0x00 to 0x7F, not '0x90' (0x90 is the write address
// byte of 0x48)", for the caller to put behind the field's or option's name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sarnel::bench {

// The largest byte count of one read and data list of one write.
inline constexpr std::size_t kMaxTransferBytes = 65536;
// The largest repeat count and interval (ms) and time-out (ms).
inline constexpr std::uint64_t kMaxRepeat = 1'000'000'000;
inline constexpr long kMaxMilliseconds = 3'600'000;

// A whole number within 0..max, or nullopt.
std::optional<std::uint64_t> parsenumber(std::string_view text, std::uint64_t max);

// A 7-bit bus address, 0x00 to 0x7F.
std::optional<std::uint8_t> parseaddress(std::string_view text, std::string& why);
// A register address: 0x00 to 0xFF, or 0x0000 to 0xFFFF when `reg16`.
std::optional<std::uint16_t> parseregister(std::string_view text, bool reg16, std::string& why);
// A byte count of a read, 1 to kMaxTransferBytes.
std::optional<std::size_t> parsecount(std::string_view text, std::string& why);
// Bytes separated by commas ("0x12,0x34,7"), 1 to kMaxTransferBytes of them, each 0 to 0xFF.
std::optional<std::vector<std::uint8_t>> parsedata(std::string_view text, std::string& why);
// A repeat count, 0 (until interrupted) to kMaxRepeat.
std::optional<std::uint64_t> parserepeat(std::string_view text, std::string& why);
// Milliseconds, 0 to kMaxMilliseconds.
std::optional<long> parsemilliseconds(std::string_view text, std::string& why);

}  // namespace sarnel::bench
