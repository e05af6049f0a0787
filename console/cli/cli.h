// sarnel-cli's commands. Each command lives in a file of its own and registers itself with a
// static CliCommand, so that main.cpp never lists them.
#pragma once

#include <string>
#include <vector>

namespace sarnel::cli {

// Exit codes shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the command ran and failed (compile error, ...)
inline constexpr int kExitUsage = 2;    // bad arguments: a one-line reason on standard error

struct CliCommand {
    using Run = int (*)(const std::vector<std::string>& args);  // args after the command name
    CliCommand(const char* name, const char* summary, const char* help, Run run);
    const char* name;
    const char* summary;  // one line for the command list
    const char* help;     // the text of `sarnel-cli NAME --help`
    Run run;
};

// Prints "sarnel-cli NAME: reason" and the hint to use --help to standard error; returns kExitUsage.
int usageError(const char* command, const std::string& reason);

// True when args hold "--help" or "-h"; then the command's help has been printed.
bool wantsHelp(const CliCommand& command, const std::vector<std::string>& args);

}  // namespace sarnel::cli
