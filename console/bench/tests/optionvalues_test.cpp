// The values a user gives the bench tools: taken whole, or refused with what was expected.
#include "console/bench/optionvalues.h"

#include <gtest/gtest.h>

namespace sarnel::bench {
namespace {

TEST(OptionValues, NumbersAreDecimalOrHexadecimalAndWhole) {
    struct Row {
        const char* text;
        std::uint64_t max;
        std::optional<std::uint64_t> value;
    };
    const Row rows[] = {
        {"72", 255, 72},
        {"0x48", 255, 0x48},
        {"0X4f", 255, 0x4F},
        {"010", 255, 10},
        {"0", 0, 0},
        {"255", 255, 255},
        {"256", 255, {}},
        {"0x100", 255, {}},
        {"", 255, {}},
        {"0x", 255, {}},
        {"-1", 255, {}},
        {"+1", 255, {}},
        {" 1", 255, {}},
        {"1 ", 255, {}},
        {"4a", 255, {}},
        {"0x4g", 255, {}},
        {"1e3", 9999, {}},
        {"5", 0, {}},
        {"0b101", 255, {}},
        {"18446744073709551615", UINT64_MAX, UINT64_MAX},
        {"18446744073709551616", UINT64_MAX, {}},
        {"0xFFFFFFFFFFFFFFFF", UINT64_MAX, UINT64_MAX},
        {"0x10000000000000000", UINT64_MAX, {}},
    };
    for (const Row& row : rows) EXPECT_EQ(parsenumber(row.text, row.max), row.value) << row.text;
}

TEST(OptionValues, AddressesAreSevenBitAndAnEightBitOneIsExplained) {
    std::string why;
    EXPECT_EQ(parseaddress("0x48", why), 0x48);
    EXPECT_EQ(parseaddress("127", why), 0x7F);
    EXPECT_EQ(parseaddress("0x90", why), std::nullopt);
    EXPECT_EQ(why, "a 7-bit address from 0x00 to 0x7F, not '0x90' (0x90 is the write address byte of 0x48)");
    EXPECT_EQ(parseaddress("0xA1", why), std::nullopt);
    EXPECT_NE(why.find("(0xA1 is the read address byte of 0x50)"), std::string::npos) << why;
    EXPECT_EQ(parseaddress("0x148", why), std::nullopt);
    EXPECT_EQ(why, "a 7-bit address from 0x00 to 0x7F, not '0x148'");
}

TEST(OptionValues, RegistersCountsAndTimes) {
    std::string why;
    EXPECT_EQ(parseregister("0xFF", false, why), 0xFF);
    EXPECT_EQ(parseregister("0x100", false, why), std::nullopt);
    EXPECT_NE(why.find("--reg16"), std::string::npos) << why;
    EXPECT_EQ(parseregister("0x1234", true, why), 0x1234);
    EXPECT_EQ(parseregister("65536", true, why), std::nullopt);
    EXPECT_EQ(parsecount("256", why), 256u);
    EXPECT_EQ(parsecount("65536", why), 65536u);
    EXPECT_EQ(parsecount("65537", why), std::nullopt);
    EXPECT_EQ(parsecount("0", why), std::nullopt);
    EXPECT_EQ(parserepeat("0", why), 0u);
    EXPECT_EQ(parserepeat("1000000001", why), std::nullopt);
    EXPECT_EQ(parsemilliseconds("3600000", why), 3600000);
    EXPECT_EQ(parsemilliseconds("3600001", why), std::nullopt);
    // A long value is cut in the message.
    EXPECT_EQ(parsecount(std::string(100, '9'), why), std::nullopt);
    EXPECT_LT(why.size(), 100u);
}

TEST(OptionValues, DataLists) {
    std::string why;
    EXPECT_EQ(parsedata("0x12", why), (std::vector<std::uint8_t>{0x12}));
    EXPECT_EQ(parsedata("0x12,52,0xff", why), (std::vector<std::uint8_t>{0x12, 52, 0xFF}));
    for (const char* bad : {"", ",", "1,", ",1", "1,,2", "1, 2", "256", "1;2", "0x1,0x"}) {
        EXPECT_EQ(parsedata(bad, why), std::nullopt) << bad;
        EXPECT_FALSE(why.empty());
    }
    EXPECT_EQ(parsedata("1,2,0x100", why), std::nullopt);
    EXPECT_EQ(why, "bytes from 0x00 to 0xFF separated by commas; byte 3 is '0x100'");
    std::string many = "0";
    for (std::size_t i = 1; i < kMaxTransferBytes; ++i) many += ",1";
    EXPECT_EQ(parsedata(many, why)->size(), kMaxTransferBytes);
    EXPECT_EQ(parsedata(many + ",2", why), std::nullopt);
    EXPECT_EQ(why, "at most 65536 bytes");
}

}  // namespace
}  // namespace sarnel::bench
