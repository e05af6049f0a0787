// sarnel-cli: the console's logic without windows, for scripts and CI.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "console/cli/cli.h"
#include "console/shell/versiontext.h"

namespace sarnel::cli {

namespace {

std::vector<const CliCommand*>& commands() {
    static std::vector<const CliCommand*> list;
    return list;
}

void printOverview(std::FILE* out) {
    std::fprintf(out, "usage: sarnel-cli COMMAND [OPTIONS] [ARGS]\n\ncommands:\n");
    for (const CliCommand* c : commands()) std::fprintf(out, "  %-10s %s\n", c->name, c->summary);
    std::fprintf(out,
                 "\n'sarnel-cli COMMAND --help' describes one command; 'sarnel-cli --version' prints\n"
                 "the version.\n");
}

}  // namespace

CliCommand::CliCommand(const char* n, const char* s, const char* h, Run r)
    : name(n), summary(s), help(h), run(r) {
    commands().push_back(this);
}

int usageError(const char* command, const std::string& reason) {
    std::fprintf(stderr, "sarnel-cli %s: %s (see 'sarnel-cli %s --help')\n", command, reason.c_str(),
                 command);
    return kExitUsage;
}

bool wantsHelp(const CliCommand& command, const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(command.help, stdout);
            return true;
        }
    }
    return false;
}

}  // namespace sarnel::cli

int main(int argc, char** argv) {
    using namespace sarnel::cli;
    if (argc < 2) {
        printOverview(stderr);
        return kExitUsage;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        printOverview(stdout);
        return kExitOk;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("sarnel-cli %s\n", sarnel::versiontext().c_str());
        return kExitOk;
    }
    for (const CliCommand* c : commands()) {
        if (std::strcmp(c->name, argv[1]) == 0)
            return c->run(std::vector<std::string>(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "sarnel-cli: unknown command '%s' (see 'sarnel-cli --help')\n", argv[1]);
    return kExitUsage;
}
