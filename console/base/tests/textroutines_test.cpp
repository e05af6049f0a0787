#include "console/base/textroutines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace sarnel {
namespace {

TEST(CleanspacesTest, TabsAndTrailingSpaces) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"a\t\t\tb", "a b"},
        {"\t\ta\tb\t", " a b"},
        {"a  \r\n  ", "a  \r\n"},
        {"   ", ""},
        {"x\t \tx", "x   x"},
        {std::string(100000, '\t') + "a", " a"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(cleanspaces(in), out);
}

struct FieldCase {
    std::string text;
    std::int32_t n;
    std::string separator;
    std::string result;
    std::string textAfter;       // `text` after the call
    std::string separatorAfter;  // `separator` after the call
};

TEST(GetfieldTest, ModesAndByReferenceEffects) {
    const std::vector<FieldCase> cases = {
        // trim mode: leading separators go from the caller's text too
        {"  ab  ", -1, " ", "ab", "ab  ", " "},
        {",,a,", -1, ",", "a", "a,", ","},
        {",,,", -1, ",", "", "", ","},
        {",a", -1, ",", "a", "a", ","},
        {"", -1, ",", "", "", ","},
        {"  a", -1, "", "a", "a", ""},
        // count mode
        {"", 0, ",", "0", "", ","},
        {"abc", 0, ",", "1", "abc", ","},
        {"a,b,c", 0, ",", "3", "a,b,c", ","},
        {"a,b,", 0, ",", "2", "a,b,", ","},
        {",a,,b", -5, ",", "4", ",a,,b", ","},
        {"  a   b  ", 0, "", "2", "  a   b  ", " "},
        {"   ", 0, " ", "0", "   ", " "},
        {"a<>b<>c", 0, "<>", "3", "a<>b<>c", "<>"},
        // field mode
        {"a,b,c", 1, ",", "a", "a,b,c", ","},
        {"a,b,c", 3, ",", "c", "a,b,c", ","},
        {"a,b,c", 4, ",", "", "a,b,c", ","},
        {",a", 1, ",", "", ",a", ","},
        {"abc", 1, ",", "abc", "abc", ","},
        {"  Write    0x90 ", 2, "", "0x90", "  Write    0x90 ", " "},
        {"a b", 8001, " ", "", "a b", " "},
        {"a<>b<>c", 2, "<>", "b", "a<>b<>c", "<>"},
    };
    for (const FieldCase& c : cases) {
        std::string text = c.text;
        std::string sep = c.separator;
        EXPECT_EQ(getfield(text, c.n, sep), c.result) << '"' << c.text << "\" n=" << c.n;
        EXPECT_EQ(text, c.textAfter) << '"' << c.text << "\" n=" << c.n;
        EXPECT_EQ(sep, c.separatorAfter) << '"' << c.text << "\" n=" << c.n;
    }
}

TEST(GetfieldTest, FieldEightThousandIsTheLast) {
    std::string words;
    for (int i = 1; i <= 8001; ++i) words += std::to_string(i) + " ";
    EXPECT_EQ(getfield(words, 0, " "), "8001");
    EXPECT_EQ(getfield(words, 8000, " "), "8000");
    EXPECT_EQ(getfield(words, 8001, " "), "");
}

TEST(HextonumTest, DigitsOnlyLastTwoHundred) {
    EXPECT_EQ(hextonum(""), 0);
    EXPECT_EQ(hextonum("zz"), 0);
    EXPECT_EQ(hextonum("7D"), 125);
    EXPECT_EQ(hextonum("ff"), 255);
    EXPECT_EQ(hextonum("0x1g2"), 0x12);  // "0", "1", "2" survive; x and g do not
    EXPECT_EQ(hextonum("-1"), 1);
    EXPECT_EQ(hextonum(std::string(300, 'F') + "0"), hextonum(std::string(199, 'F') + "0"));
    EXPECT_TRUE(std::isfinite(hextonum(std::string(100000, 'F'))));
}

TEST(DbltohexTest, DigitsLimitsAndSpecialValues) {
    const std::vector<std::pair<double, std::string>> cases = {
        {0, "0"},
        {0.99, "0"},
        {1.5, "1"},
        {255, "FF"},
        {3300, "CE4"},
        {-1, "FFFFFFFFFFFFF"},
        {-1.5, "FFFFFFFFFFFFE"},
        {-256, "FFFFFFFFFFF00"},
        {2251799813685247.0, "7FFFFFFFFFFFF"},
        {2251799813685248.0, "X7FFFFFFFFFFFF"},
        {-2251799813685248.0, "8000000000000"},
        {-2251799813685249.0, "X8000000000000"},
        {1e300, "X7FFFFFFFFFFFF"},
        {std::numeric_limits<double>::infinity(), "X7FFFFFFFFFFFF"},
        {-std::numeric_limits<double>::infinity(), "X8000000000000"},
        {std::numeric_limits<double>::quiet_NaN(), "X0"},
    };
    for (const auto& [value, digits] : cases) EXPECT_EQ(dbltohex(value), digits) << value;
}

TEST(NumtohexTest, ExactWidth) {
    EXPECT_EQ(numtohex(5, 2), "05");
    EXPECT_EQ(numtohex(256, 2), "00");
    EXPECT_EQ(numtohex(300, 2), "2C");
    EXPECT_EQ(numtohex(-1, 2), "FF");
    EXPECT_EQ(numtohex(3300, 4), "0CE4");
    EXPECT_EQ(numtohex(-1, 16), "000FFFFFFFFFFFFF");
    EXPECT_EQ(numtohex(1e300, 16), "00X7FFFFFFFFFFFF");
    EXPECT_EQ(numtohex(7, 0), "");
    EXPECT_EQ(numtohex(7, -3), "");
}

TEST(LeadingnumberTest, Forms) {
    const std::vector<std::pair<std::string, double>> cases = {
        {"", 0},
        {"abc", 0},
        {"90", 90},
        {"010", 10},
        {"  \t\r\n42", 42},
        {"+7", 7},
        {"-7.25", -7.25},
        {".5", 0.5},
        {"3.3", 3.3},
        {"1.50x", 1.5},
        {"0.05", 0.05},
        {"1e3", 1000},
        {"2D2", 200},
        {"5E-1", 0.5},
        {"1e", 1},
        {"1e+", 1},
        {"12abc", 12},
        {"1.2.3", 1.2},
        {"-", 0},
        {".", 0},
        {"&HFF", 255},
        {"&hff", 255},
        {"&O17", 15},
        {"&O19", 1},
        {"&X1", 0},
        {"&", 0},
        {"1e-400", 0},
        {"0e99999999999999999999", 0},
    };
    for (const auto& [text, value] : cases)
        EXPECT_DOUBLE_EQ(leadingnumber(text), value) << '"' << text << '"';
    EXPECT_EQ(leadingnumber("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(leadingnumber("-1e99999999999999999999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(leadingnumber(std::string(400, '9')), std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(leadingnumber("0." + std::string(400, '0') + "1e401"), 1);
    EXPECT_EQ(leadingnumber("&H" + std::string(300, 'F')), 0x1p1023);
}

}  // namespace
}  // namespace sarnel
