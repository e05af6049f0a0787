// Values out of the bytes a script read.
#include "console/bench/valuepick.h"

#include <gtest/gtest.h>

namespace sarnel::bench {
namespace {

TEST(ValuePick, WidthsOrdersSignsAndScales) {
    const std::vector<std::uint8_t> lm75{0x19, 0x80, 0xFF, 0x80};
    struct Row {
        ValuePick pick;
        std::optional<double> value;
    };
    const Row rows[] = {
        {{0, 2, true, true, 1.0 / 256}, 25.5},    {{2, 2, true, true, 1.0 / 256}, -0.5},
        {{2, 2, true, false, 1.0}, 0xFF80},       {{2, 2, false, false, 1.0}, 0x80FF},
        {{2, 2, false, true, 1.0}, -32513},       {{1, 1, true, false, 1.0}, 0x80},
        {{1, 1, true, true, 1.0}, -128},          {{3, 1, true, false, 0.5}, 64},
        {{3, 2, true, false, 1.0}, std::nullopt}, {{4, 1, true, false, 1.0}, std::nullopt},
        {{0, 3, true, false, 1.0}, std::nullopt}, {{0, 0, true, false, 1.0}, std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(pickvalue(lm75, row.pick), row.value) << row.pick.offset << " " << row.pick.width;
}

TEST(ValuePick, TheBytesAReplyRead) {
    EXPECT_EQ(readbytes("0010sW90aW00asW91aR19aR80np"), (std::vector<std::uint8_t>{0x19, 0x80}));
    EXPECT_EQ(readbytes("0010RxyaR01nA001011R02n"), (std::vector<std::uint8_t>{0x01, 0x02}));
    EXPECT_TRUE(readbytes("0019R0101").empty());  // not a script's reply
    EXPECT_TRUE(readbytes("00").empty());
}

}  // namespace
}  // namespace sarnel::bench
