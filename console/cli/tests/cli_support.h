// Runs sarnel-cli (the program named by SARNEL_CLI) as a user runs it, and collects what it
// printed and how it exited.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

namespace clitest {

struct Result {
    int exit = -1;   // the exit status; -1 when the program did not exit by itself
    int signal = 0;  // the signal that ended it, if one did
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

// sarnel-cli started in the background, for tests that signal it while it runs.
struct Started {
    pid_t pid = -1;
    std::string out, err;  // where its standard output and error go
};
Started start(const std::string& args, const std::string& input = "");
// Waits for it to end; after `timeout` it is killed and the result says so (signal SIGKILL).
Result finish(Started& started, std::chrono::milliseconds timeout);

}  // namespace clitest
