// The udev rule the package installs: udev reads every line of it, it is numbered so that
// "uaccess" still applies, and the rule form its comment documents is one udev accepts.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "packaging_support.h"
#include "udevrules_support.h"

namespace {

using packtest::checkudevrules;

const char* kRules = "packaging/70-sarnel.rules";

std::string problems(const std::string& text) {
    std::string all;
    for (const auto& p : checkudevrules(text)) all += "line " + std::to_string(p.line) + ": " + p.what + "\n";
    return all;
}

TEST(UdevRules, EveryLineOfThePackagedFileIsOneUdevReads) {
    const std::string text = packtest::readtext(packtest::source(kRules));
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(problems(text), "");
}

TEST(UdevRules, TheFileComesBeforeTheSeatRulesThatApplyUaccess) {
    // 73-seat-late.rules turns the tag into access for the seat's user: a later file's tag
    // would never be acted on.
    const std::string name = std::string(kRules).substr(std::string(kRules).rfind('/') + 1);
    ASSERT_TRUE(name.size() > 9 && std::isdigit(static_cast<unsigned char>(name[0])) &&
                std::isdigit(static_cast<unsigned char>(name[1])) && name[2] == '-' &&
                name.substr(name.size() - 6) == ".rules")
        << name;
    EXPECT_LT(std::stoi(name.substr(0, 2)), 73);
}

TEST(UdevRules, TheDocumentedRuleFormIsValidWithRealIds) {
    // The comment shows the line to add per adapter; filled in, udev must accept it, and it
    // goes before the label that ends the file's rules, after the line that skips every
    // subsystem but tty.
    const std::string text = packtest::readtext(packtest::source(kRules));
    const std::size_t tag = text.find("TAG+=\"uaccess\"\n");
    ASSERT_NE(tag, std::string::npos);
    const std::size_t start = text.rfind('\n', tag) + 1;
    std::string line = text.substr(start, text.find('\n', tag) - start);
    ASSERT_EQ(line.rfind("#   SUBSYSTEMS==", 0), 0u) << line;
    line = line.substr(line.find("SUBSYSTEMS"));
    for (const auto& [placeholder, id] : {std::pair{"vvvv", "1a86"}, std::pair{"pppp", "7523"}}) {
        const std::size_t at = line.find(placeholder);
        ASSERT_NE(at, std::string::npos) << line;
        line.replace(at, 4, id);
    }
    EXPECT_EQ(problems(line), "") << line;
    const std::size_t skip = text.find("\nSUBSYSTEM!=\"tty\", GOTO=\"sarnel_end\"\n");
    ASSERT_NE(skip, std::string::npos);
    EXPECT_LT(skip, start);
    EXPECT_LT(start, text.find("\nLABEL=\"sarnel_end\""));
}

TEST(UdevRules, TheCheckRefusesWhatUdevRefuses) {
    struct Case {
        const char* line;
        const char* problem;  // part of the reported reason
    };
    const std::vector<Case> cases = {
        {"SUBSYSTEM==\"tty\", TAG+=\"uaccess", "closing quote"},
        {"SUBSYSTEM==tty, TAG+=\"uaccess\"", "double quotes"},
        {"SUBSYSTEM=\"tty\", TAG+=\"uaccess\"", "SUBSYSTEM does not take ="},
        {"ATTRS==\"0403\"", "needs an {attribute}"},
        {"ATTRS{idVendor}=\"0403\"", "ATTRS does not take ="},
        {"TAG{x}+=\"uaccess\"", "takes no {attribute}"},
        {"SUBSYSTEMS==\"usb\" ATTRS{idVendor}==\"0403\"", "separated by a comma"},
        {"SUBSYSTEM==\"tty\", TAG+=\"uaccess\",", "a comma ends the line"},
        {"SUBSYTEM==\"tty\"", "unknown key SUBSYTEM"},
        {"GOTO==\"end\"", "GOTO does not take =="},
        {"MODE==\"0660\"", "MODE does not take =="},
        {"ENV{ID_BUS}-=\"usb\"", "ENV does not take -="},
        {"SUBSYSTEM==\"tty\", GOTO=\"nowhere\"", "has no LABEL after it"},
        {"SUBSYSTEM==\"tty\", \\", "ends in a continued line"},
        {"ATTRS{idVendor=\"0403\"", "without '}'"},
    };
    for (const Case& c : cases) {
        const std::string found = problems(c.line);
        EXPECT_NE(found.find(c.problem), std::string::npos) << c.line << "\n -> " << found;
    }
}

TEST(UdevRules, TheCheckAcceptsTheFormsUdevDocuments) {
    const char* text =
        "# a comment, then a blank line\n"
        "\n"
        "ACTION==\"remove\", GOTO=\"x_end\"\n"
        "SUBSYSTEM==\"tty\", SUBSYSTEMS==\"usb\", ATTRS{idVendor}==\"0403\", \\\n"
        "    ATTRS{idProduct}==\"6001\", TAG+=\"uaccess\", ENV{ID_X}=\"1\"\n"
        "KERNEL==\"ttyUSB[0-9]*\", MODE:=\"0660\", GROUP=\"dialout\", SYMLINK+=\"adapter\"\n"
        "ENV{ID_SERIAL}!=\"\", RUN+=\"/bin/true\", PROGRAM=\"/bin/echo \\\"quoted\\\"\"\n"
        "  LABEL=\"x_end\"\n";
    EXPECT_EQ(problems(text), "");
}

}  // namespace
