// Runs sarnel-cli (the program named by SARNEL_CLI) as a user runs it, and collects what it
// printed and how it exited.
#pragma once

#include <string>

namespace clitest {

struct Result {
    int exit = -1;
    std::string out;
    std::string err;
};

// A scratch folder of this test program, made on first use.
std::string scratch();
// Writes `bytes` to scratch()/name and returns its path.
std::string writefile(const std::string& name, const std::string& bytes);
std::string slurp(const std::string& path);
// Runs `sarnel-cli ARGS` with `input` on standard input.
Result cli(const std::string& args, const std::string& input = "");

}  // namespace clitest
