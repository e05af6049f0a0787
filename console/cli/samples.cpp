// sarnel-cli samples: the built-in sample scripts.
#include "console/command/samples.h"

#include <cstdio>
#include <string>

#include "console/cli/cli.h"
#include "console/cli/input.h"

namespace sarnel::cli {

namespace {

int run(const std::vector<std::string>& args);

const CliCommand command("samples", "list the built-in sample scripts, or print one",
                         "usage: sarnel-cli samples [N]\n"
                         "Without N, lists the samples by number and title. With N (0 to 7), prints\n"
                         "sample N as the command queue holds it, one line per line.\n",
                         run);

int run(const std::vector<std::string>& args) {
    if (wantsHelp(command, args)) return kExitOk;
    if (args.size() > 1) return usageError("samples", "one sample number at most");
    if (args.empty()) {
        int n = 0;
        for (const SampleScript& s : samplescripts()) {
            std::printf("%d  %.*s\n", n++, static_cast<int>(s.title.size()), s.title.data());
        }
        return kExitOk;
    }
    const std::string& a = args.front();
    if (a.size() != 1 || a[0] < '0' || a[0] >= '0' + kSampleCount) {
        return usageError("samples", "no sample '" + a + "' (0 to 7)");
    }
    writetext(stdout, withnewlines(sampletext(a[0] - '0')));
    return kExitOk;
}

}  // namespace

}  // namespace sarnel::cli
