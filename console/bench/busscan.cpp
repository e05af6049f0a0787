#include "console/bench/busscan.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace sarnel::bench {

BusScan::BusScan(ScanRange range) : range_(range) {
    if (range.first > range.last || range.last > 0x7F)
        throw std::invalid_argument("a scan range runs from a first to a last 7-bit address");
    std::vector<BusOp> ops;
    for (int a = range.first; a <= range.last; ++a) {
        const auto address = static_cast<std::uint8_t>(a << 1 | (range.readProbe ? 1 : 0));
        ops.push_back({BusOp::Kind::Start, 0, a, true});
        ops.push_back({BusOp::Kind::Write, address, a, false});
        if (range.readProbe) ops.push_back({BusOp::Kind::ReadNack, 0, a, false});
        ops.push_back({BusOp::Kind::Stop, 0, a, false});
    }
    build(std::move(ops));
}

void BusScan::result(const BusOp& op, const ResultItem& item) {
    if (op.kind == BusOp::Kind::Write && acknowledgement(item) == true)
        found_.push_back(static_cast<std::uint8_t>(op.tag));
}

std::string scangrid(const ScanRange& range, const std::vector<std::uint8_t>& found) {
    std::string grid = "   ";
    for (int column = 0; column < 16; ++column) {
        char head[4];
        std::snprintf(head, sizeof head, "  %x", column);
        grid += head;
    }
    grid += '\n';
    for (int row = 0; row < 0x80; row += 16) {
        char label[8];
        std::snprintf(label, sizeof label, "%02x:", row);
        std::string line = label;
        for (int a = row; a < row + 16; ++a) {
            char cell[4] = "   ";
            if (a >= range.first && a <= range.last) {
                if (std::find(found.begin(), found.end(), a) != found.end())
                    std::snprintf(cell, sizeof cell, " %02x", a);
                else
                    std::snprintf(cell, sizeof cell, " --");
            }
            line += cell;
        }
        line.erase(line.find_last_not_of(' ') + 1);
        grid += line + '\n';
    }
    return grid;
}

}  // namespace sarnel::bench
