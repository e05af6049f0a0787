// sarnel-cli flash against the simulated adapter: a whole image, rejected lines with and
// without --stop-on-error, a refused file, the timing report, and its arguments.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli_support.h"
#include "console/bootloader/tests/hexgen_support.h"

namespace {

using namespace clitest;

std::string hexfile(const std::string& name, const std::vector<std::string>& lines) {
    const std::string path = scratch() + "/" + name;
    std::ofstream out(path, std::ios::binary);
    for (const std::string& l : lines) out << l << "\n";
    return path;
}

const std::vector<std::string> kWithRejections = {
    ":0400000001020304F2",
    ":0400000001020304F3",  // checksum
    "not a record",        ":0400040005060708DE", ":00000001FF",
};

TEST(CliFlash, AWholeImageFromTheApplicationExitsZero) {
    const boottest::HexImage image = boottest::makeimage(2000, 0x8000, 2);
    const Result r = cli("flash --simulate --from-app " + hexfile("app.hex", image.lines));
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("Prog blocks  2000\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("High Blocks  " + std::to_string(image.highLines) + "\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Completion   1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Errors       0\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Error log"), std::string::npos) << r.out;
    // Standard error is not a terminal here: plain progress lines, the last one at 100 %.
    EXPECT_NE(r.err.find("flash: " + std::to_string(image.lines.size() - 2) + "/" +
                         std::to_string(image.lines.size()) + " lines"),
              std::string::npos)
        << r.err;
}

TEST(CliFlash, RejectedLinesAreLoggedAndFailTheRun) {
    const std::string file = hexfile("bad.hex", kWithRejections);
    const Result goOn = cli("flash --simulate --from-app " + file);
    EXPECT_EQ(goOn.exit, 1);
    EXPECT_NE(goOn.out.find("Completion   1\n"), std::string::npos) << goOn.out;
    EXPECT_NE(goOn.out.find("Errors       2\n"), std::string::npos) << goOn.out;
    EXPECT_NE(goOn.out.find("  02  f  "), std::string::npos) << goOn.out;
    EXPECT_NE(goOn.out.find("  01  s  ':nn' Checksum mismatch, frame rejected"), std::string::npos)
        << goOn.out;
    EXPECT_NE(goOn.err.find("with errors"), std::string::npos) << goOn.err;

    const Result stop = cli("flash --simulate --from-app --stop-on-error " + file);
    EXPECT_EQ(stop.exit, 1);
    EXPECT_NE(stop.out.find("Errors       1\n"), std::string::npos) << stop.out;
    EXPECT_NE(stop.out.find("Time         ---\n"), std::string::npos) << stop.out;
    EXPECT_NE(stop.out.find("Completion   0\n"), std::string::npos) << stop.out;
}

TEST(CliFlash, ARefusedFileSendsNothing) {
    const Result r = cli("flash --simulate --from-app " + hexfile("empty.hex", {}));
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.out.find("File is empty"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Prog blocks  0\n"), std::string::npos) << r.out;
}

TEST(CliFlash, TimingReportsTheRoundTrips) {
    const Result r = cli("flash --simulate --from-app --timing " + hexfile("t.hex", kWithRejections));
    EXPECT_NE(r.out.find("Round trip:  min "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(5 lines)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Slowest lines:\n  line "), std::string::npos) << r.out;
}

TEST(CliFlash, BadArgumentsAreUsageErrors) {
    for (const char* args :
         {"flash", "flash --simulate", "flash --port", "flash --port COM3 --simulate x.hex",
          "flash --simulate --bogus x.hex", "flash --simulate a.hex b.hex"}) {
        const Result r = cli(args);
        EXPECT_EQ(r.exit, 2) << args;
        EXPECT_NE(r.err.find("sarnel-cli flash: "), std::string::npos) << args << ": " << r.err;
    }
}

TEST(CliFlash, APortThatCannotBeOpenedFails) {
    const Result r = cli("flash --port /nonexistent/tty " + hexfile("x.hex", {":00000001FF"}));
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("sarnel-cli flash: "), std::string::npos) << r.err;
}

}  // namespace
