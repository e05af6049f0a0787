#include "console/command/frames.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace sarnel {
namespace {

TEST(FramesTest, FixedButtonFrames) {
    const std::pair<int, std::string> expected[] = {
        {19, "$0013\r"}, {20, "$0014\r"}, {21, "$0015\r"}, {22, "$0016\r"}, {23, "$0017\r"},
        {24, "$0018\r"}, {25, "$0006\r"}, {26, "$0011\r"}, {27, "$0012\r"}, {29, "$0007\r"},
    };
    for (const auto& [index, frame] : expected) {
        const auto b = commandbutton(index);
        ASSERT_TRUE(b) << index;
        ASSERT_EQ(b->frames.size(), 1u) << index;
        EXPECT_EQ(b->frames[0], frame) << index;
        EXPECT_EQ(b->action, ButtonAction::Frames);
    }
    const auto ping = commandbutton(18);
    ASSERT_TRUE(ping);
    EXPECT_EQ(ping->caption, "Ping");
    ASSERT_EQ(ping->frames.size(), 2u);
    EXPECT_EQ(ping->frames[0], "$0000\r");
    EXPECT_EQ(ping->frames[1], "$0019\r");
    for (const CommandButton& b : commandbuttons()) {
        for (std::string_view f : b.frames) EXPECT_EQ(f.size(), 6u) << b.caption;
        if (!b.tooltip.empty()) {
            const CommandCode* c = findcommandcode(b.frames[0].substr(3, 2));
            ASSERT_NE(c, nullptr);
            EXPECT_EQ(c->tooltip, b.tooltip);
        }
    }
}

TEST(FramesTest, TheReplyCodeThatAnswersAFrame) {
    EXPECT_EQ(answercode("$00100500019004\r"), "10");
    EXPECT_EQ(answercode("$0000\r"), "00");
    EXPECT_EQ(answercode("$0019\r"), "19");
    EXPECT_EQ(answercode("$0007\r"), "1A") << "the reset is answered by the reset report";
    EXPECT_EQ(answercode("$E\r"), "");
    EXPECT_EQ(answercode("$00FF5A3C\r"), "");
    EXPECT_EQ(answercode("$00"), "");
}

TEST(FramesTest, ButtonsByIndex) {
    EXPECT_EQ(commandbutton(26)->tooltip,
              "Save the last command sequence executed into the interrupt command NV storage");
    EXPECT_EQ(commandbutton(28)->action, ButtonAction::Update);
    EXPECT_TRUE(commandbutton(28)->frames.empty());
    EXPECT_EQ(commandbutton(30)->action, ButtonAction::Rescan);
    EXPECT_EQ(commandbutton(255)->caption, "Compile/Transmit");
    EXPECT_EQ(commandbutton(0)->action, ButtonAction::Preset);
    EXPECT_EQ(commandbutton(17)->action, ButtonAction::Preset);
    EXPECT_FALSE(commandbutton(31));
    EXPECT_FALSE(commandbutton(-1));
    EXPECT_EQ(commandframe("19"), "$0019\r");
    EXPECT_EQ(commandframe("FF", "1234"), "$00FF1234\r");
}

TEST(FramesTest, TokenTableCoversEveryLabelOnce) {
    std::set<int> labels;
    std::set<std::string_view> codes;
    for (const TokenCode& t : tokencodes()) {
        EXPECT_TRUE(codes.insert(t.code).second) << t.code;
        if (t.label < 0) continue;
        EXPECT_TRUE(labels.insert(t.label).second) << t.code;
        // A caption starts with its code, and the keyword sits from its 8th character on.
        EXPECT_EQ(t.caption.substr(0, 2), t.code);
        EXPECT_GT(t.caption.size(), 7u);
        EXPECT_EQ(tokenforlabel(t.label), &t);
    }
    EXPECT_EQ(labels.size(), static_cast<std::size_t>(kTokenLabels));
    EXPECT_EQ(*labels.rbegin(), kTokenLabels - 1);
    EXPECT_EQ(tokenforlabel(31)->caption, "A2nnnn GPDIR  0b");
    EXPECT_EQ(tokenforlabel(5)->code, "03");
    EXPECT_EQ(findtokencode("05")->tooltip, "Delay is (nn + 20)uS");
    EXPECT_EQ(findtokencode("06")->tooltip, "Delay is (nn + 20)uS");
    EXPECT_EQ(findtokencode("76")->label, -1);
    EXPECT_EQ(tokenforlabel(32), nullptr);
}

}  // namespace
}  // namespace sarnel
