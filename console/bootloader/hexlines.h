// The line table of a firmware update: the lines of a HEX file, read whole before streaming.
// The host does not parse the records; every line goes to the bootloader as written.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace sarnel::boot {

// Room in the line table.
inline constexpr std::size_t kMaxHexLines = 10000;

struct HexLines {
    std::vector<std::string> lines;  // line ends (LF, CR LF or CR) removed, nothing else changed
    std::string refusal;             // why the file is not streamed; empty when it can be
    bool ok() const { return refusal.empty(); }
};

// Reads the file at `path`. Refused, with a reason for the error log: a file that cannot be
// opened or read, an empty file, a file of more than kMaxHexLines lines.
HexLines readhexlines(const std::string& path);

// Splits a file's text into lines as readhexlines does (a last line without a line end
// counts; a final line end does not start another line).
std::vector<std::string> splitlines(const std::string& text);

}  // namespace sarnel::boot
