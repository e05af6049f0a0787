// The bash completion of sarnel-cli against the program itself: the commands and options it
// offers are those the program's --help texts describe, the buttons those press takes.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "console/command/frames.h"
#include "console/command/samples.h"
#include "packaging_support.h"

namespace {

using packtest::quoted;
using Words = std::vector<std::string>;

// What completing the last of `words` offers. compopt only works inside a real completion,
// so it is a no-op here.
std::set<std::string> complete(const Words& words, const std::string& environment = "") {
    std::string array;
    for (const std::string& w : words) array += quoted(w) + " ";
    const std::string script = "compopt() { :; }; . " +
                               quoted(packtest::source("packaging/sarnel-cli.bash")) + "; COMP_WORDS=(" +
                               array + "); COMP_CWORD=" + std::to_string(words.size() - 1) +
                               "; _sarnel_cli; printf '%s\\n' \"${COMPREPLY[@]}\"";
    const packtest::Output out = packtest::sh(environment + " bash --norc --noprofile -c " + quoted(script));
    EXPECT_EQ(out.exit, 0) << script;
    std::set<std::string> offered;
    std::istringstream lines(out.text);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) offered.insert(line);
    return offered;
}

std::string cli() {
    return packtest::program("sarnel-cli");
}

// The commands `sarnel-cli --help` lists.
std::set<std::string> commands() {
    const packtest::Output help = packtest::sh(quoted(cli()) + " --help");
    EXPECT_EQ(help.exit, 0);
    std::set<std::string> names;
    std::istringstream lines(help.text.substr(help.text.find("commands:")));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && line.rfind("  ", 0) == 0) {
        std::istringstream words(line);
        std::string name;
        words >> name;
        names.insert(name);
    }
    return names;
}

std::set<std::string> without(std::set<std::string> set, const std::string& item) {
    set.erase(item);
    return set;
}

TEST(Completion, OffersEveryCommandTheProgramHasAndNoOther) {
    const std::set<std::string> expected = commands();
    ASSERT_GE(expected.size(), 7u);
    EXPECT_EQ(without(without(complete({"sarnel-cli", ""}), "--help"), "--version"), expected);
    EXPECT_EQ(complete({"sarnel-cli", "--v"}), (std::set<std::string>{"--version"}));
    EXPECT_EQ(complete({"sarnel-cli", "s"}), (std::set<std::string>{"samples"}));
}

TEST(Completion, OffersEachCommandsOptionsAsItsHelpDescribesThem) {
    for (const std::string& command : commands()) {
        SCOPED_TRACE(command);
        const packtest::Output help = packtest::sh(quoted(cli()) + " " + command + " --help");
        ASSERT_EQ(help.exit, 0);
        const std::set<std::string> offered = complete({"sarnel-cli", command, "--"});
        EXPECT_TRUE(offered.count("--help"));
        EXPECT_EQ(without(offered, "--help"), packtest::longoptions(help.text));
    }
}

TEST(Completion, OffersThePressButtonsCaptions) {
    std::set<std::string> captions;
    for (const sarnel::CommandButton& b : sarnel::commandbuttons())
        if (b.action == sarnel::ButtonAction::Frames) captions.insert(std::string(b.caption));
    ASSERT_FALSE(captions.empty());
    EXPECT_EQ(complete({"sarnel-cli", "press", "--port", "COM3", ""}), captions);
    // After the option's value, and with the word already begun, quoted or escaped.
    EXPECT_EQ(complete({"sarnel-cli", "press", "Res"}), (std::set<std::string>{"Reset?", "Reset!"}));
    EXPECT_EQ(complete({"sarnel-cli", "press", "\"Save"}), (std::set<std::string>{"Save Last"}));
    EXPECT_EQ(complete({"sarnel-cli", "press", "Run\\ "}), (std::set<std::string>{"Run Saved"}));
}

TEST(Completion, OffersRegsTwoActionsFirst) {
    EXPECT_EQ(complete({"sarnel-cli", "reg", ""}), (std::set<std::string>{"read", "write"}));
    EXPECT_EQ(complete({"sarnel-cli", "reg", "w"}), (std::set<std::string>{"write"}));
    EXPECT_TRUE(complete({"sarnel-cli", "reg", "read", "--addr", ""}).empty());  // a number
}

TEST(Completion, OffersTheSampleNumbers) {
    std::set<std::string> numbers;
    for (int n = 0; n < sarnel::kSampleCount; ++n) numbers.insert(std::to_string(n));
    EXPECT_EQ(complete({cli(), "compile", "--sample", ""}), numbers);
    EXPECT_EQ(complete({cli(), "samples", ""}), numbers);
}

TEST(Completion, OffersThePortsOfThePortFolderWithoutOpeningThem) {
    const std::string folder = packtest::sh("mktemp -d").text;
    const std::string dir = folder.substr(0, folder.find('\n'));
    ASSERT_EQ(packtest::sh("ln -s /nonexistent " + quoted(dir + "/COM7") + " && ln -s /dev/null " +
                           quoted(dir + "/COM12") + " && touch " + quoted(dir + "/other"))
                  .exit,
              0);
    const std::string env = "VESKOR_PORT_DIR=" + quoted(dir);
    // A dangling link is still a name the console resolves (to a port that has gone).
    const std::set<std::string> offered = complete({"sarnel-cli", "run", "--port", "COM"}, env);
    EXPECT_TRUE(offered.count("COM7"));
    EXPECT_TRUE(offered.count("COM12"));
    for (const std::string& name : offered) EXPECT_EQ(name.rfind("COM", 0), 0u) << name;
    EXPECT_EQ(complete({"sarnel-cli", "flash", "--port", "COM1"}, env).count("COM7"), 0u);
    for (const std::string& path : complete({"sarnel-cli", "press", "--port", "/dev/"}, env))
        EXPECT_EQ(path.rfind("/dev/", 0), 0u) << path;
    // Remote ports numbered in the per-user file; a USB port's kept number is not a name to
    // offer when its port may be absent.
    ASSERT_EQ(packtest::sh("mkdir " + quoted(dir + "/sarnel") +
                           " && printf 'COM97 0403:6001 00 A1\\nCOM200 "
                           "rfc2217://bench7:4001\\n' > " +
                           quoted(dir + "/sarnel/ports"))
                  .exit,
              0);
    const std::set<std::string> remote =
        complete({"sarnel-cli", "run", "--port", "COM"}, "XDG_CONFIG_HOME=" + quoted(dir));
    EXPECT_TRUE(remote.count("COM200"));
    EXPECT_FALSE(remote.count("COM97"));
    packtest::sh("rm -rf " + quoted(dir));
}

TEST(Completion, OffersOnlyHexFilesAndFoldersToFlash) {
    const std::string made = packtest::sh("mktemp -d").text;
    const std::string dir = made.substr(0, made.find('\n'));
    ASSERT_EQ(packtest::sh("cd " + quoted(dir) + " && touch a.hex B.HEX notes.txt && mkdir sub").exit, 0);
    EXPECT_EQ(complete({"sarnel-cli", "flash", "--simulate", dir + "/"}),
              (std::set<std::string>{dir + "/a.hex", dir + "/B.HEX", dir + "/sub"}));
    packtest::sh("rm -rf " + quoted(dir));
}

}  // namespace
