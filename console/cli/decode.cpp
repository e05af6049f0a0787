// sarnel-cli decode: decodes bytes received from an adapter as the receive path does, and
// prints the bus activity list.
#include <cstdio>
#include <string>

#include "console/base/alert.h"
#include "console/cli/cli.h"
#include "console/cli/input.h"
#include "console/responses/decoder.h"
#include "console/responses/receivepath.h"

namespace sarnel::cli {

namespace {

int run(const std::vector<std::string>& args);

const CliCommand command(
    "decode", "decode adapter replies into bus activity lines",
    "usage: sarnel-cli decode [--continuous] [FILE]\n"
    "Reads bytes received from an adapter (FILE, or standard input when FILE is absent\n"
    "or \"-\"), hands them to the decoder piece by piece, each piece ending after a line\n"
    "feed, as the receive path does, and prints the bus activity list.\n"
    "  --continuous   as \"Continuous Rx\" ticked: script replies do not empty the list\n"
    "A \"Process error\" is reported on standard error and decoding goes on.\n"
    "Exit codes: 0 decoded, 1 a reply could not be decoded or unreadable input,\n"
    "2 bad arguments.\n",
    run);

// Reports alerts on standard error and counts them.
class CountingAlerts final : public AlertPresenter {
public:
    CountingAlerts() { setAlertPresenter(this); }
    ~CountingAlerts() override { setAlertPresenter(nullptr); }
    std::int16_t present(const AlertRequest& request) override {
        ++count;
        writealert(stderr, request);
        return -1;
    }
    int count = 0;
};

int run(const std::vector<std::string>& args) {
    if (wantsHelp(command, args)) return kExitOk;
    ActivityText activity;
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a == "--continuous") {
            activity.continuous = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError("decode", "unknown option '" + a + "'");
        } else {
            files.push_back(a);
        }
    }
    if (files.size() > 1) return usageError("decode", "one input file at most");

    std::string bytes;
    std::string error;
    if (!readinput(files.empty() ? "" : files.front(), bytes, error)) {
        std::fprintf(stderr, "sarnel-cli decode: %s\n", error.c_str());
        return kExitFailure;
    }

    CountingAlerts alerts;
    std::string rxbuffer;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t lf = bytes.find('\n', pos);
        const std::size_t end = lf == std::string::npos ? bytes.size() : lf + 1;
        rxbuffer.append(bytes, pos, end - pos);
        process(kProcessAll, "", activity, rxbuffer);
        caprxbuffer(rxbuffer);
        pos = end;
    }
    const std::string text = withnewlines(activity.text);
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) != 0) return kExitFailure;
    return alerts.count == 0 ? kExitOk : kExitFailure;
}

}  // namespace

}  // namespace sarnel::cli
