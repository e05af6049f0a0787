// The bus scan: which 7-bit addresses a device acknowledges.
//
// Each address is probed on its own: Start, Write (address << 1), Stop; with `readProbe`
// Start, Write (address << 1 | 1), Read Nack, Stop, for devices a write could disturb. As many
// probes go into each script frame as its 124 token bytes allow (31 write probes, 24 read
// probes), so 0x08 to 0x77 takes 4 frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/bench/transfer.h"

namespace sarnel::bench {

struct ScanRange {
    std::uint8_t first = 0x08;  // 7-bit addresses, first <= last <= 0x7F
    std::uint8_t last = 0x77;
    bool readProbe = false;
};

class BusScan final : public Transfer {
public:
    // Throws std::invalid_argument for a range that is not one.
    explicit BusScan(ScanRange range);

    const ScanRange& range() const { return range_; }
    // The addresses that acknowledged their probe, ascending (complete once finished()).
    const std::vector<std::uint8_t>& found() const { return found_; }

private:
    void result(const BusOp& op, const ResultItem& item) override;

    ScanRange range_;
    std::vector<std::uint8_t> found_;
};

// The scan as a grid of 16 columns: a header row "0" to "f", then rows "00:" to "70:",
// each address "--" when nothing acknowledged it, its two hexadecimal digits when a device
// did, and blank outside the range. Lines end in "\n", trailing blanks dropped.
std::string scangrid(const ScanRange& range, const std::vector<std::uint8_t>& found);

}  // namespace sarnel::bench
