// sarnel-cli run, press and flash when the adapter goes while they wait for its reply: each
// ends at once with the unplug's text and status 1, instead of waiting out its time-out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli_support.h"
#include "fakeadapter_support.h"

namespace {

using namespace clitest;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(CliUnplug, RunPressAndFlashEndAtOnce) {
    const std::string hex = writefile("unplug.hex", ":00000001FF\n");
    const std::string rows[] = {
        "run --timeout 60000 --port COM5",
        "press --timeout 60000 --port COM5 Fast",
        "flash --from-app --port COM5 " + hex,
    };
    int i = 0;
    for (const std::string& args : rows) {
        SCOPED_TRACE(args);
        FakeAdapter silent([](const std::string&) { return std::vector<Piece>{}; });
        // The adapter as COM5 of a port folder: taking the entry away is its unplugging.
        const fs::path folder = fs::path(scratch()) / ("unplug-" + std::to_string(i++));
        fs::create_directories(folder);
        fs::create_symlink(silent.path(), folder / "COM5");
        ::setenv("VESKOR_PORT_DIR", folder.c_str(), 1);
        Started command = start(args, "Start|Write 0x90|Stop\n");
        ::unsetenv("VESKOR_PORT_DIR");
        ASSERT_TRUE(silent.waitForFrames(1, 10s));
        const auto unplugged = std::chrono::steady_clock::now();
        fs::remove(folder / "COM5");
        const Result r = finish(command, 10s);
        EXPECT_LT(std::chrono::steady_clock::now() - unplugged, 2s);
        EXPECT_EQ(r.exit, 1) << r.err;
        EXPECT_NE(r.err.find("the adapter on COM5 (" + silent.path() + ") was unplugged"), std::string::npos)
            << r.err;
        EXPECT_EQ(silent.frames().size(), 1u) << "nothing sent after the unplug";
    }
}

}  // namespace
