// The bootloader's verdicts and what it programs.
#include "../src/bootloader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace sim {
namespace {

using std::chrono::microseconds;

// An Intel HEX record with its checksum.
std::string record(unsigned type, unsigned offset, const std::vector<unsigned>& data) {
    std::vector<unsigned> b = {static_cast<unsigned>(data.size()), offset >> 8 & 0xFF, offset & 0xFF, type};
    b.insert(b.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (unsigned v : b) sum += v;
    b.push_back((0x100 - (sum & 0xFF)) & 0xFF);
    std::string s = ":";
    char hex[3];
    for (unsigned v : b) {
        std::snprintf(hex, sizeof hex, "%02X", v);
        s += hex;
    }
    return s;
}

class Boot : public ::testing::Test {
protected:
    std::string verdict(const std::string& line) {
        return boot.line(line, microseconds(7), microseconds(9)).reply;
    }
    Bootloader boot;
};

TEST_F(Boot, VerdictsForEveryKindOfLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {record(0, 0x0100, {1, 2, 3}), "Ba"},
        {record(0, 0x7FF0, std::vector<unsigned>(16, 0)), "Ba"},  // up to the last byte
        {record(0, 0x7FF8, std::vector<unsigned>(16, 0)), "Bl"},  // runs past the end
        {record(0, 0, std::vector<unsigned>(32, 0x11)), "Ba"},    // 32 bytes: 75 characters
        {record(0, 0, std::vector<unsigned>(33, 0x11)), "Bl"},    // count above the limit
        {record(0, 0, std::vector<unsigned>(40, 0x11)), "Bl"},    // line above 80 characters
        {record(1, 0, {}), "Bc"},
        {record(1, 0, {0}), "Bf"},
        {record(4, 0, {0x00, 0x01}), "Bx"},
        {record(4, 0, {0x00}), "Bf"},
        {record(2, 0, {0x10, 0x00}), "Bx"},
        {record(3, 0, {0, 0, 1, 0}), "Bx"},
        {record(5, 0, {0, 0, 1, 0}), "Bx"},
        {record(6, 0, {}), "Bf"},
        {":0300000001020304F2", "Bo"},  // a data byte more than the count
        {":04000000010203F6", "Bu"},    // a data byte less
        {":0300000001020300", "Bs"},
        {":03000000", "Bz"},  // header only
        {":03", "Bz"},
        {":", "Bz"},
        {":0300000001020G3", "Bf"},
        {":030000000102030", "Bf"},  // odd number of digits
        {record(0, 0, {1}) + "  \t", "Ba"},
        {"", "Bi"},
        {"   ", "Bi"},
        {";comment $5", "Bi"},
        {"0000", "Bw"},
        {"0019", "Bw"},
        {"00FF5A3C", "Bb"},
        {"E", "Be"},
        {"e", "Bf"},
        {"hello", "Bf"},
        {std::string(81, ';'), "Bl"},
    };
    for (const auto& [line, reply] : cases) {
        Bootloader fresh;
        EXPECT_EQ(fresh.line(line, microseconds(0), microseconds(0)).reply, reply) << line;
    }
}

TEST_F(Boot, FlashedImageReadsBack) {
    // Extended linear and segment addressing, high memory ignored, end of file.
    const std::vector<std::string> file = {
        record(0, 0x0000, {0xDE, 0xAD}), record(2, 0, {0x01, 0x00}),  // segment 0x0100: base 0x1000
        record(0, 0x0010, {0x42}),       record(4, 0, {0x00, 0x20}),  // 0x200000: high memory
        record(0, 0x0000, {0x0F}),       record(4, 0, {0x00, 0x00}),
        record(0, 0x7FFF, {0x77}),       record(1, 0, {}),
    };
    std::vector<std::string> verdicts;
    for (const std::string& l : file) verdicts.push_back(verdict(l));
    EXPECT_EQ(verdicts, (std::vector<std::string>{"Ba", "Bx", "Ba", "Bx", "Bh", "Bx", "Ba", "Bc"}));
    std::vector<std::uint8_t> want(programMemorySize, 0xFF);
    want[0] = 0xDE;
    want[1] = 0xAD;
    want[0x1010] = 0x42;
    want[0x7FFF] = 0x77;
    EXPECT_EQ(boot.memory(), want);
}

TEST_F(Boot, ProgrammingClearsBitsOnlyUntilErased) {
    EXPECT_EQ(verdict(record(0, 0x20, {0xF0})), "Ba");
    EXPECT_EQ(verdict(record(0, 0x20, {0x3C})), "Ba");
    EXPECT_EQ(boot.memory()[0x20], 0x30);
    const auto erase = boot.line("E", microseconds(7), microseconds(9));
    EXPECT_EQ(erase.reply, "Be");
    EXPECT_EQ(erase.busy, microseconds(9));
    EXPECT_EQ(boot.memory(), std::vector<std::uint8_t>(programMemorySize, 0xFF));
    const auto data = boot.line(record(0, 0x20, {0x3C}), microseconds(7), microseconds(9));
    EXPECT_EQ(data.busy, microseconds(7));
    EXPECT_EQ(boot.memory()[0x20], 0x3C);
}

TEST_F(Boot, ExtendedAddressResetsAtEndOfFileAndEntry) {
    EXPECT_EQ(verdict(record(4, 0, {0x00, 0x01})), "Bx");  // 0x10000: outside
    EXPECT_EQ(verdict(record(0, 0, {1})), "Bl");
    EXPECT_EQ(verdict(record(1, 0, {})), "Bc");
    EXPECT_EQ(verdict(record(0, 0, {1})), "Ba");
    EXPECT_EQ(verdict(record(4, 0, {0x00, 0x01})), "Bx");
    boot.enter();
    EXPECT_EQ(verdict(record(0, 1, {1})), "Ba");
    EXPECT_EQ(boot.line("0007", microseconds(0), microseconds(0)).action,
              Bootloader::Action::LeaveToApplication);
}

}  // namespace
}  // namespace sim
