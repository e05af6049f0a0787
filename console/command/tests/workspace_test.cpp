#include "console/command/workspace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "console/base/consoleerror.h"
#include "console/command/collection.h"

namespace sarnel {
namespace {

// A collection of `count` scripts "<prefix>1" ... with two body lines each.
std::string collectionText(int count, const std::string& prefix = "Script ") {
    std::string text;
    for (int k = 1; k <= count; ++k)
        text +=
            ";" + prefix + std::to_string(k) + "\r\nStart\r\nWrite  0x" + std::to_string(k % 100) + "\r\n";
    return text;
}

TEST(CollectionParsing, LineEndsAndScriptBodies) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> scripts;
        std::string preamble;
    } cases[] = {
        {"crlf", ";A\r\nStart\r\nStop\r\n", {";A\r\nStart\r\nStop"}, ""},
        {"cr only", ";A\rStart\rStop\r", {";A\r\nStart\r\nStop"}, ""},
        {"lf only", ";A\nStart\nStop\n", {";A\r\nStart\r\nStop"}, ""},
        {"no final break", ";A\r\nStop", {";A\r\nStop"}, ""},
        {"blank lines kept", ";A\r\n\r\nStop\r\n", {";A\r\n\r\nStop"}, ""},
        {"lf then cr is two breaks", ";A\n\rStop", {";A\r\n\r\nStop"}, ""},
        {"two scripts", ";A\r\nStart\r\n;B\r\nStop\r\n", {";A\r\nStart", ";B\r\nStop"}, ""},
        {"heading only", ";A", {";A"}, ""},
        {"bare semicolon heading", ";\r\nStart", {";\r\nStart"}, ""},
        {"lines before the first heading", "Start\r\n;A\r\nStop", {";A\r\nStop"}, "\r\nStart"},
        {"semicolon later in a line is no heading", ";A\r\n Start ;x\r\n", {";A\r\n Start ;x"}, ""},
        {"empty file", "", {}, ""},
        {"bytes kept",
         std::string(";\xE9t\xE9\r\nSt\xFF", 10),
         {std::string(";\xE9t\xE9\r\nSt\xFF", 10)},
         ""},
    };
    for (const Case& c : cases) {
        const Collection collection = parseCollection(c.text);
        EXPECT_EQ(collection.scripts, c.scripts) << c.name;
        EXPECT_EQ(collection.preamble, c.preamble) << c.name;
        EXPECT_EQ(collection.leftOut, 0) << c.name;
    }
}

TEST(CollectionParsing, ScriptsBeyondTheThousandthAreCountedNotKept) {
    const Collection exact = parseCollection(collectionText(1000));
    EXPECT_EQ(exact.scripts.size(), 1000u);
    EXPECT_EQ(exact.leftOut, 0);

    const Collection over = parseCollection(collectionText(1003) + "trailing line\r\n");
    ASSERT_EQ(over.scripts.size(), 1000u);
    EXPECT_EQ(over.leftOut, 3);
    // The bodies of the scripts left out do not run into the last kept script.
    EXPECT_EQ(over.scripts.back(), ";Script 1000\r\nStart\r\nWrite  0x0");
}

class CollectionFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("workspace_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

TEST_F(CollectionFile, ReadsTheWholeFile) {
    const std::string path = (dir / "big.txt").string();
    std::ofstream(path, std::ios::binary) << collectionText(300);
    const Collection collection = readCollection(path);
    ASSERT_EQ(collection.scripts.size(), 300u);
    EXPECT_EQ(collection.scripts[299], ";Script 300\r\nStart\r\nWrite  0x0");
}

TEST_F(CollectionFile, UnreadableFilesRaiseFileErrors) {
    struct Case {
        std::string path;
        std::int32_t number;
    } cases[] = {
        {(dir / "missing.txt").string(), 53},
        {dir.string(), 75},  // a folder
        {(dir / "missing" / "x.txt").string(), 53},
    };
    std::ofstream((dir / "plain").string()) << "x";
    for (const Case& c : cases) {
        try {
            readCollection(c.path);
            ADD_FAILURE() << c.path << " was read";
        } catch (const ConsoleError& error) {
            EXPECT_EQ(error.number(), c.number) << c.path;
            EXPECT_NE(error.description().find(c.path), std::string::npos) << error.description();
        }
    }
    try {
        readCollection((dir / "plain" / "x.txt").string());
        ADD_FAILURE() << "a path through a file was read";
    } catch (const ConsoleError& error) {
        EXPECT_EQ(error.number(), 76);
    }
}

TEST(PresetTable, EighteenScriptsFillTheButtonsOnly) {
    Workspace workspace;
    workspace.load(parseCollection(collectionText(18)));
    for (int i = 0; i < kPresetButtons; ++i)
        EXPECT_EQ(workspace.caption(i), "Script " + std::to_string(i + 1));
    EXPECT_EQ(workspace.listItems(), std::vector<std::string>{kCollectionPrompt});
    EXPECT_EQ(workspace.presetScript(17, workspace.caption(17)), ";Script 18\r\nStart\r\nWrite  0x18");
    EXPECT_EQ(workspace.listScript(1), std::nullopt);
}

TEST(PresetTable, NineteenthScriptOpensTheList) {
    Workspace workspace;
    workspace.load(parseCollection(collectionText(19)));
    EXPECT_EQ(workspace.listItems(), (std::vector<std::string>{kCollectionSelect, "Script 19"}));
    EXPECT_EQ(workspace.listScript(1), ";Script 19\r\nStart\r\nWrite  0x19");
    EXPECT_EQ(workspace.listScript(0), std::nullopt);
    EXPECT_EQ(workspace.listScript(2), std::nullopt);
    EXPECT_EQ(workspace.scriptCount(), 19);
}

TEST(PresetTable, ThousandScriptsReachTheLastEntry) {
    Workspace workspace;
    workspace.load(parseCollection(collectionText(1000)));
    ASSERT_EQ(workspace.listItems().size(), 983u);
    EXPECT_EQ(workspace.listItems().back(), "Script 1000");
    EXPECT_EQ(workspace.listScript(982), workspace.entry(1000));
}

TEST(PresetTable, HeadingsAreCutForButtonsAndList) {
    const std::string heading(150, 'h');
    std::string text;
    for (int k = 1; k <= 19; ++k) text += ";" + std::to_string(k % 10) + heading + "\r\nStop\r\n";
    Workspace workspace;
    workspace.load(parseCollection(text));
    EXPECT_EQ(workspace.caption(0), "1" + heading.substr(0, 29));
    EXPECT_EQ(workspace.listItems()[1], "9" + heading.substr(0, 99));
    EXPECT_EQ(workspace.entry(1), ";1" + heading + "\r\nStop");
}

TEST(PresetTable, SmallerCollectionClearsTheRest) {
    Workspace workspace;
    workspace.load(parseCollection(collectionText(25)));
    workspace.load(parseCollection(collectionText(3, "Other ")));
    EXPECT_EQ(workspace.caption(2), "Other 3");
    for (int i = 3; i < kPresetButtons; ++i) {
        EXPECT_EQ(workspace.caption(i), "") << i;
        EXPECT_EQ(workspace.presetScript(i, workspace.caption(i)), std::nullopt) << i;
    }
    EXPECT_EQ(workspace.listItems(), std::vector<std::string>{kCollectionPrompt});

    workspace.load(parseCollection(""));
    EXPECT_EQ(workspace.caption(0), "");
    EXPECT_EQ(workspace.scriptCount(), 0);
}

TEST(PresetTable, ButtonWithoutCaptionGivesNothing) {
    Workspace workspace;
    workspace.load(parseCollection(";\r\nStart\r\n;B\r\nStop"));
    EXPECT_EQ(workspace.caption(0), "");
    EXPECT_EQ(workspace.presetScript(0, workspace.caption(0)), std::nullopt);
    EXPECT_EQ(workspace.presetScript(1, "B"), ";B\r\nStop");
    EXPECT_EQ(workspace.presetScript(18, "x"), std::nullopt);
    EXPECT_EQ(workspace.presetScript(-1, "x"), std::nullopt);
}

TEST(TokenCard, KeywordsAndLines) {
    struct Case {
        int label;
        std::array<std::string, kTokenValues> values;
        std::string line;
        std::array<std::string, kTokenValues> valuesAfter;
    } cases[] = {
        {0, {"AA", "05", "05", "1111"}, "Start\r\n", {"AA", "05", "05", "1111"}},
        {1, {"AA", "05", "05", "1111"}, "Write  0xAA\r\n", {"AA", "05", "05", "1111"}},
        {1, {"", "05", "05", "1111"}, "Write  0x0\r\n", {"0", "05", "05", "1111"}},
        {1, {"00", "05", "05", "1111"}, "Write  0x0\r\n", {"0", "05", "05", "1111"}},
        {2, {"AA", "05", "05", "1111"}, "Read   Ack\r\n", {"AA", "05", "05", "1111"}},
        {4, {"AA", "5", "05", "1111"}, "Delayu 0x05\r\n", {"AA", "5", "05", "1111"}},
        {4, {"AA", "", "05", "1111"}, "Delayu 0x00\r\n", {"AA", "0", "05", "1111"}},
        {22, {"AA", "05", "FF", "1111"}, "Delaym 0xFF\r\n", {"AA", "05", "FF", "1111"}},
        {22, {"AA", "05", "00", "1111"}, "Delaym 0x00\r\n", {"AA", "05", "0", "1111"}},
        {31, {"AA", "05", "05", "11"}, "GPDIR  0b1111\r\n", {"AA", "05", "05", "11"}},
        {31, {"AA", "05", "05", "0"}, "GPDIR  0b1110\r\n", {"AA", "05", "05", "0"}},
        {31, {"AA", "05", "05", "0000"}, "GPDIR  0b0000\r\n", {"AA", "05", "05", "0000"}},
        {31, {"AA", "05", "05", ""}, "GPDIR  0b1111\r\n", {"AA", "05", "05", ""}},
        {16, {"AA", "05", "05", "1111"}, "SetV Open\r\n", {"AA", "05", "05", "1111"}},
        {30, {"AA", "05", "05", "1111"}, "GPDIR?\r\n", {"AA", "05", "05", "1111"}},
        {32, {"AA", "05", "05", "1111"}, "", {"AA", "05", "05", "1111"}},
    };
    for (Case& c : cases) {
        EXPECT_EQ(tokenLine(c.label, c.values), c.line) << "label " << c.label;
        EXPECT_EQ(c.values, c.valuesAfter) << "label " << c.label;
    }
}

TEST(TokenValueBoxes, ZeroRule) {
    struct Case {
        int box;
        std::string text, after;
    } cases[] = {
        {0, "", "0"},   {0, "00", "0"}, {0, "0", "0"},       {0, "A0", "A0"}, {1, "01", "01"},
        {2, "00", "0"}, {3, "", "0"},   {3, "0000", "0000"}, {3, "00", "00"}, {3, "1010", "1010"},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        applyZeroRule(c.box, text);
        EXPECT_EQ(text, c.after) << "box " << c.box << " '" << c.text << "'";
    }
}

TEST(TokenValueBoxes, KeyFilter) {
    for (char c : std::string("0123456789ABCDEF\b\x7f")) EXPECT_EQ(filterValueKey(c), c) << int(c);
    for (char c : std::string("abcdef")) EXPECT_EQ(filterValueKey(c), c - 'a' + 'A') << c;
    for (char c : std::string("gGxZ -.\r\t\x1b\x16")) EXPECT_EQ(filterValueKey(c), 0) << int(c);
    EXPECT_EQ(filterValueKey('\0'), 0);
}

}  // namespace
}  // namespace sarnel
