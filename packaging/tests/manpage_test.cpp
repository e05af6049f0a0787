// The man pages against the programs: every command and option a program's help text names
// is documented in its page, and the page documents none that the program lacks.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <sstream>
#include <string>

#include "console/cli/cli.h"
#include "console/cli/session.h"
#include "console/shell/versiontext.h"
#include "packaging_support.h"

namespace {

using packtest::quoted;

std::string page(const std::string& name) {
    return packtest::readtext(packtest::source("man/" + name + ".1.scd"));
}

// The text of the section that starts with the line `heading`, up to the next heading of the
// same or a higher level; "" when there is none.
std::string section(const std::string& text, const std::string& heading) {
    std::size_t start = text.rfind(heading + "\n", 0) == 0 ? 0 : text.find("\n" + heading + "\n");
    if (start == std::string::npos) return {};
    start = text.find('\n', start + 1);
    const std::string level = heading.substr(0, heading.find(' ') + 1);  // "# " or "## "
    std::size_t end = text.find("\n# ", start);
    if (level == "## ") end = std::min(end, text.find("\n## ", start));
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The "## name ..." subsections of a page, by name.
std::set<std::string> subsections(const std::string& text) {
    std::set<std::string> names;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("## ", 0) != 0) continue;
        names.insert(line.substr(3, line.find(' ', 3) - 3));
    }
    return names;
}

std::set<std::string> clicommands() {
    const packtest::Output help = packtest::sh(quoted(packtest::program("sarnel-cli")) + " --help");
    std::set<std::string> names;
    std::istringstream lines(help.text.substr(help.text.find("commands:")));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && line.rfind("  ", 0) == 0)
        names.insert(line.substr(2, line.find(' ', 2) - 2));
    return names;
}

std::set<std::string> plus(std::set<std::string> set, const std::string& item) {
    set.insert(item);
    return set;
}

TEST(ManPages, SarnelCliDocumentsEveryCommandWithExactlyItsOptions) {
    const std::string text = page("sarnel-cli");
    const std::string commands = section(text, "# COMMANDS");
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(subsections(commands), clicommands());
    for (const std::string& command : clicommands()) {
        SCOPED_TRACE(command);
        const packtest::Output help =
            packtest::sh(quoted(packtest::program("sarnel-cli")) + " " + command + " --help");
        // The heading starts "## command ", or "## command" alone.
        std::string body;
        std::istringstream lines(commands);
        for (std::string line; std::getline(lines, line);) {
            if (line == "## " + command || line.rfind("## " + command + " ", 0) == 0) {
                body = section(commands, line);
                body = line + "\n" + body;
                break;
            }
        }
        EXPECT_EQ(packtest::longoptions(body), packtest::longoptions(help.text));
    }
}

TEST(ManPages, SarnelCliListsEveryExitStatus) {
    const std::string exits = section(page("sarnel-cli"), "# EXIT STATUS");
    for (int code : {sarnel::cli::kExitOk, sarnel::cli::kExitFailure, sarnel::cli::kExitUsage,
                     sarnel::cli::kExitNoReply})
        EXPECT_NE(exits.find("\n*" + std::to_string(code) + "*\n"), std::string::npos) << code;
}

TEST(ManPages, SarnelSimDocumentsItsOptionsAndFaults) {
    const packtest::Output help = packtest::sh(quoted(packtest::program("sarnel-sim")) + " --help");
    ASSERT_EQ(help.exit, 0);
    const std::string options = section(page("sarnel-sim"), "# OPTIONS");
    EXPECT_EQ(packtest::longoptions(options), plus(packtest::longoptions(help.text), "--help"));
    // The fault names, as the usage lists them: --fault a|b|c
    const std::size_t at = help.text.find("--fault ");
    ASSERT_NE(at, std::string::npos);
    const std::string list = help.text.substr(at + 8, help.text.find(']', at) - at - 8);
    std::istringstream names(list);
    int count = 0;
    for (std::string name; std::getline(names, name, '|'); ++count)
        EXPECT_NE(options.find("\t*" + name + "*\n"), std::string::npos) << name;
    EXPECT_GE(count, 6);
}

TEST(ManPages, SarnelDocumentsItsOptions) {
    const std::string console = packtest::program("sarnel");
    struct stat st {};
    if (::stat(console.c_str(), &st) != 0) GTEST_SKIP() << "built without the console (SARNEL_UI=OFF)";
    const packtest::Output help = packtest::sh(quoted(console) + " --help");
    ASSERT_EQ(help.exit, 0);
    EXPECT_EQ(packtest::longoptions(section(page("sarnel"), "# OPTIONS")),
              plus(packtest::longoptions(help.text), "--help"));
}

TEST(ManPages, ComregDocumentsEveryCommand) {
    const packtest::Output usage = packtest::sh(quoted(packtest::program("comreg")) + " 2>&1");
    EXPECT_EQ(usage.exit, 2);
    const std::string commands = section(page("comreg"), "# COMMANDS");
    std::istringstream words(usage.text.substr(usage.text.find(':') + 1));
    int count = 0;
    for (std::string word; words >> word;) {
        if (word == "|" || word == "comreg" || word.find_first_of("|.") != std::string::npos ||
            word == "MODULE")
            continue;
        ++count;
        EXPECT_NE(commands.find("\n*" + word + "*"), std::string::npos) << word;
    }
    EXPECT_EQ(count, 5);  // register, unregister, list, registry, --version
}

TEST(ManPages, EveryProgramPrintsItsVersionAndItsPageSaysSo) {
    for (const std::string name : {"sarnel", "sarnel-cli", "sarnel-sim", "comreg"}) {
        SCOPED_TRACE(name);
        const std::string program = packtest::program(name);
        struct stat st {};
        if (name == "sarnel" && ::stat(program.c_str(), &st) != 0) continue;  // SARNEL_UI=OFF
        const packtest::Output out = packtest::sh(quoted(program) + " --version");
        EXPECT_EQ(out.exit, 0);
        EXPECT_EQ(out.text, name + " " + sarnel::versiontext() + "\n");
        EXPECT_NE(page(name).find("*--version*"), std::string::npos);
    }
}

}  // namespace
