#include "console/bench/valuepick.h"

#include "console/bench/exchange.h"
#include "console/bench/transfer.h"
#include "console/responses/decoder.h"

namespace sarnel::bench {

std::vector<std::uint8_t> readbytes(std::string_view reply) {
    std::vector<std::uint8_t> bytes;
    if (replycode(reply) != kScriptReplyCode) return bytes;
    for (std::size_t i = 5; i <= reply.size();) {
        const ResultItem item = resultitem(reply, i);
        if (item.kind == ItemKind::Read)
            if (const auto b = itembyte(item)) bytes.push_back(*b);
        i += item.advance;
    }
    return bytes;
}

std::optional<double> pickvalue(const std::vector<std::uint8_t>& bytes, const ValuePick& pick) {
    if (pick.width != 1 && pick.width != 2) return std::nullopt;
    const auto width = static_cast<std::size_t>(pick.width);
    if (pick.offset >= bytes.size() || bytes.size() - pick.offset < width) return std::nullopt;
    long raw = bytes[pick.offset];
    if (width == 2) {
        const long second = bytes[pick.offset + 1];
        raw = pick.bigEndian ? raw << 8 | second : second << 8 | raw;
    }
    const long top = 1L << (8 * width - 1);
    if (pick.isSigned && raw >= top) raw -= 2 * top;
    return static_cast<double>(raw) * pick.scale;
}

}  // namespace sarnel::bench
