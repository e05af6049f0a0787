#include "../src/settings.h"

#include <gtest/gtest.h>

using veskor::LineSettings;
using veskor::resolveSettings;

namespace {

const LineSettings kStored{9600, 8, 0, 0};

struct Case {
    const char* text;
    LineSettings want;
};

TEST(Settings, ResolvesEachFieldOnItsOwn) {
    const Case cases[] = {
        {"115200,n,8,1", {115200, 8, 0, 0}},
        {" 19200 , E , 7 , 2 ", {19200, 7, 2, 2}},
        {"300,o,5,1.5", {300, 5, 1, 1}},
        {"256000,M,6,2", {256000, 6, 3, 2}},
        {"14400,s,8,1", {14400, 8, 4, 0}},
        // Bad fields fall back one by one.
        {"12345,x,9,3", kStored},
        {"115200,x,8,1", {115200, 8, 0, 0}},
        {"57600,e,4,1", {57600, 8, 2, 0}},
        // The leading number counts; what follows it does not.
        {"38400baud,n,7bits,2", {38400, 7, 0, 2}},
        {"+4800,n,8,1", {4800, 8, 0, 0}},
        {"-9600,n,8,1", kStored},
        {"99999999999999,n,8,1", kStored},
        // Parity and stop bits are compared whole; tabs are not spaces.
        {"9600,no,8,1", kStored},
        {"9600,n,8,1.0", kStored},
        {"9600,\tn,8,1", kStored},
    };
    for (const Case& c : cases) EXPECT_EQ(resolveSettings(c.text, kStored), c.want) << c.text;
}

TEST(Settings, IgnoresAStringWithoutExactlyFourFields) {
    LineSettings stored{1200, 7, 1, 2};
    for (const char* text : {"", "115200", "115200,n,8", "115200,n,8,1,", ",,,,", "115200,n,,8,1"})
        EXPECT_EQ(resolveSettings(text, stored), stored) << text;
    // Four empty fields are four bad fields.
    EXPECT_EQ(resolveSettings(",,,", stored), stored);
}

TEST(Settings, FormatRule) {
    EXPECT_FALSE(veskor::validFormat(5, 2));
    EXPECT_TRUE(veskor::validFormat(5, 1));
    EXPECT_FALSE(veskor::validFormat(6, 1));
    EXPECT_FALSE(veskor::validFormat(8, 1));
    EXPECT_TRUE(veskor::validFormat(8, 2));
    EXPECT_TRUE(veskor::validFormat(7, 0));
}

}  // namespace
