// The pure rules of the bootloader client: reply display, reset causes, log lines, line ends
// and the reading of the line table.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "console/bootloader/bootloader.h"
#include "console/bootloader/hexlines.h"
#include "console/bootloader/replies.h"

using namespace sarnel::boot;

TEST(DecodeReply, EveryVerdictShowsItsLetterTextAndColour) {
    struct Row {
        const char* reply;
        const char* code;
        const char* meaning;
        Rgb colour;
    };
    const Row rows[] = {
        {"Bb", "b", "Bootloader entry from reset", kBlue},
        {"Bw", "w", "Bootloader waiting for data", kBlue},
        {"Bi", "i", "';xxxx' Comment line ignored", kBlue},
        {"Be", "e", "Application ROM erased", kBlue},
        {"Bc", "c", "Programming complete", kBlue},
        {"Br", "r", "Forced CPU reset", kBlue},
        {"Ba", "a", "':nn' Data bytes received=nn, frame accepted", kGreen},
        {"Bx", "x", "':nn' Extended record read without errors", kBlue},
        {"Bh", "h", "':nn' High ROM write ignored (Usually fuses)", kBlue},
        {"Bz", "z", "':nn' No dd/cc bytes received, frame rejected", kRed},
        {"Bu", "u", "':nn' Data bytes received<nn, frame rejected", kRed},
        {"Bo", "o", "':nn' Data bytes received>nn, frame rejected", kRed},
        {"Bs", "s", "':nn' Checksum mismatch, frame rejected", kRed},
        {"Bl", "l", "':nn' Data line limit reached, frame rejected", kRed},
        {"Bf", "f", "'X---' Not command or hex data, frame rejected", kRed},
        // The display goes by the first two characters only.
        {"Bsomething", "s", "':nn' Checksum mismatch, frame rejected", kRed},
        {"0000022603", "00", "App: Firmware ID querry", kYellow},
        {"000601", "06", "App: Reset cause=01: Power up", kYellow},
        {"0006-1", "06",
         "App: Reset cause=0:Unknown 1:PowerUp 2:MCLR 3:WDT 4:Brownout 5:ResetInstr 6:StackUnd 7:StackOvr",
         kYellow},
        {"000609", "06", "App: Reset cause=09: Unknown reset source", kYellow},
        {"0006", "06", "App: Reset cause=00: Unknown reset source", kYellow},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reply);
        const auto shown = decodeReply(row.reply);
        ASSERT_TRUE(shown.has_value());
        EXPECT_EQ(shown->code, row.code);
        EXPECT_EQ(shown->meaning, row.meaning);
        EXPECT_EQ(shown->colour, row.colour);
    }
}

TEST(DecodeReply, OtherRepliesLeaveTheDisplayAlone) {
    for (const char* reply : {"", "B", "Bq", "BB", "b", "0010", "1000", "00", "0019", "?x"}) {
        SCOPED_TRACE(reply);
        EXPECT_FALSE(decodeReply(reply).has_value());
    }
}

TEST(ResetCause, KnownModelsNameTheCauseOthersOnlyNumberIt) {
    struct Row {
        const char* model;
        std::int16_t cause;
        const char* text;
    };
    const Row rows[] = {
        {"2520", 2, "02: MCLR pin"},
        {"4520", 3, "03: WatchDog Timer"},
        {"8527", 4, "04: Vdd Brownout"},
        {"0", 5, "05: Reset instruction"},
        {"2520", 6, "06: Stack underflow"},
        {"2520", 7, "07: Stack overflow"},
        {"2520", 0, "00: Unknown reset source"},
        {"2520", 8, "08: Unknown reset source"},
        {"2520", 123, "23: Unknown reset source"},
        {"1234", 1, "01: Unknown reset source"},
        {"1234", -1, "-1: Unknown reset source"},
        {"", 1, "01: Power up"},  // "" has the value 0
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.model) + " " + std::to_string(row.cause));
        EXPECT_EQ(resetcause(row.model, row.cause), row.text);
    }
}

TEST(ReplyColours, EachBackgroundGetsAReadableText) {
    EXPECT_EQ(textcolour(kBlue), kWhite);
    EXPECT_EQ(textcolour(kYellow), kBlack);
    EXPECT_EQ(textcolour(kWhite), kBlack);
    for (const Rgb c : {kWhite, kBlue, kGreen, kRed, kYellow})
        EXPECT_GE(contrastratio(c, textcolour(c)), 4.5);
    EXPECT_NEAR(contrastratio(kBlack, kWhite), 21.0, 1e-9);
    EXPECT_NEAR(contrastratio(kBlue, kBlue), 1.0, 1e-9);
}

TEST(TextValue, ReadsTheNumberAtTheStart) {
    EXPECT_EQ(textvalue("12"), 12);
    EXPECT_EQ(textvalue("  7x"), 7);
    EXPECT_EQ(textvalue("-3"), -3);
    EXPECT_EQ(textvalue("x1"), 0);
    EXPECT_EQ(textvalue(""), 0);
    EXPECT_EQ(textvalue("99999999999"), 2147483647);
}

TEST(LogLines, ErrorCountKeepsTwoDigits) {
    EXPECT_EQ(errorcounttext(7), "07");
    EXPECT_EQ(errorcounttext(12), "12");
    EXPECT_EQ(errorcounttext(100), "00");
    EXPECT_EQ(errorcounttext(123), "23");
}

TEST(LogLines, RejectedLineIsPaddedTo56ThenCarriesTheFrame) {
    const std::string sent = "$:0400000012345678E4[cr]";
    const std::string shortLine = rejectedline(3, "s", "':nn' Checksum mismatch, frame rejected", sent);
    EXPECT_EQ(shortLine.substr(0, 56),
              std::string("03  s  ':nn' Checksum mismatch, frame rejected").append(10, ' '));
    EXPECT_EQ(shortLine.substr(56), sent);

    // 56 characters or more: one space only.
    const std::string meaning(60, 'm');
    EXPECT_EQ(rejectedline(1, "f", meaning, sent), "01  f  " + meaning + " " + sent);
    const std::string exact(49, 'e');  // "01  f  " + 49 = 56
    EXPECT_EQ(rejectedline(1, "f", exact, sent), "01  f  " + exact + " " + sent);
}

TEST(LogLines, LineEndsAreMadeVisible) {
    EXPECT_EQ(visiblelineend("$E\r"), "$E[cr]");
    EXPECT_EQ(visiblelineend("$E\r\n"), "$E[nl]");
    EXPECT_EQ(visiblelineend("$E\n"), "$E[lf]");
    EXPECT_EQ(visiblelineend("$E\n\r"), "$E\n[cr]");
    EXPECT_EQ(visiblelineend("$E"), "$E");
    EXPECT_EQ(visiblelineend(""), "");
}

TEST(HexLines, SplitKeepsBlankLinesAndEveryLineEndKind) {
    using V = std::vector<std::string>;
    EXPECT_EQ(splitlines("a\nb\n"), (V{"a", "b"}));
    EXPECT_EQ(splitlines("a\r\nb"), (V{"a", "b"}));
    EXPECT_EQ(splitlines("a\rb\r\r\n"), (V{"a", "b", ""}));
    EXPECT_EQ(splitlines("\n\n"), (V{"", ""}));
    EXPECT_EQ(splitlines(";c \t x\n"), (V{";c \t x"}));
    EXPECT_EQ(splitlines(""), V{});
}

class HexFile : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& text) {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_ = [] {
        auto d = std::filesystem::temp_directory_path() / ("boot-hex-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
};

TEST_F(HexFile, RefusesWhatCannotBeStreamed) {
    EXPECT_NE(readhexlines((dir_ / "missing.hex").string()).refusal.find("File not opened"),
              std::string::npos);
    EXPECT_NE(readhexlines(dir_.string()).refusal.find("File not opened"), std::string::npos);
    EXPECT_NE(readhexlines(write("empty.hex", "")).refusal.find("empty"), std::string::npos);

    std::string many;
    for (int i = 0; i < 10001; ++i) many += ":00000001FF\n";
    const HexLines tooLong = readhexlines(write("long.hex", many));
    EXPECT_FALSE(tooLong.ok());
    EXPECT_NE(tooLong.refusal.find("10001"), std::string::npos);
    EXPECT_TRUE(tooLong.lines.empty());
}

TEST_F(HexFile, ExactlyTheLimitIsReadWhole) {
    std::string lines;
    for (int i = 0; i < 10000; ++i) lines += ":00000001FF\r\n";
    const HexLines table = readhexlines(write("full.hex", lines));
    EXPECT_TRUE(table.ok());
    EXPECT_EQ(table.lines.size(), 10000u);
    EXPECT_EQ(table.lines.back(), ":00000001FF");
}

TEST(SpecPath, TheFirstFieldOfTheDialogResultIsThePath) {
    EXPECT_EQ(BootLoader::specpath("/fw/app.hex\xFF/fw\xFF"
                                   "app.hex"),
              "/fw/app.hex");
    EXPECT_EQ(BootLoader::specpath("/fw/a b.hex"), "/fw/a b.hex");
}
