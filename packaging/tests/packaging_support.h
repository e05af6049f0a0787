// What the packaging tests share: the source and program folders the build hands them, a
// file's text, and a shell command's output.
#pragma once

#include <set>
#include <string>

namespace packtest {

// $SARNEL_SOURCE_DIR/relative, $SARNEL_BIN_DIR/name.
std::string source(const std::string& relative);
std::string program(const std::string& name);

// The whole text of a file; a test failure when it cannot be read.
std::string readtext(const std::string& path);

struct Output {
    int exit = -1;
    std::string text;  // standard output, and standard error where the command sends it there
};
// Runs `command` with /bin/sh and collects its standard output.
Output sh(const std::string& command);
// `text` inside single quotes for the shell.
std::string quoted(const std::string& text);

// Every distinct long option ("--name") that `text` mentions.
std::set<std::string> longoptions(const std::string& text);

}  // namespace packtest
