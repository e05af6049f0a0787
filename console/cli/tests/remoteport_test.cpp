// sarnel-cli on an adapter behind a real ser2net on this machine: run, press, flash and the port
// scan by a remote address, and a server that dies in the middle of a flash.
#include <gtest/gtest.h>
#include <serialtest/ser2net.h>
#include <sim/simulator.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "cli_support.h"
#include "console/bootloader/tests/hexgen_support.h"

namespace {

using namespace clitest;
using namespace std::chrono_literals;

// A HEX file of `dataLines` data records in the scratch folder.
std::string hexfile(const std::string& name, int dataLines) {
    std::string text;
    for (const std::string& l : boottest::makeimage(dataLines, 0x8000, 2).lines) text += l + "\n";
    return writefile(name, text);
}

TEST(CliRemote, RunAndPressThroughBothKindsOfPort) {
    sim::Adapter adapter;
    sertest::Ser2net server(adapter.devicePath(), scratch());
    for (const std::string& port : {server.rfc2217(), server.raw()}) {
        const Result run = cli("run --port " + port + " --timeout 5000", "Start|Write 0x90|Stop\n");
        EXPECT_EQ(run.exit, 0) << port << "\n" << run.err << server.log();
        EXPECT_NE(run.out.find("WRITE\t0x90\tAck"), std::string::npos) << run.out;
        const Result press = cli("press --port " + port + " --timeout 5000 Ping");
        EXPECT_EQ(press.exit, 0) << port << "\n" << press.err;
    }
}

TEST(CliRemote, FlashesAWholeImage) {
    sim::Adapter adapter;
    adapter.setFlashTimePerLine(0us);
    sertest::Ser2net server(adapter.devicePath(), scratch());
    const Result r = cli("flash --port " + server.rfc2217() + " --from-app " + hexfile("app.hex", 2040));
    EXPECT_EQ(r.exit, 0) << r.err << server.log();
    EXPECT_NE(r.out.find("Prog blocks  2040\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Completion   1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Errors       0\n"), std::string::npos) << r.out;
}

TEST(CliRemote, AServerKilledMidFlashIsAnUnpluggedAdapter) {
    sim::Adapter adapter;
    sertest::Ser2net server(adapter.devicePath(), scratch());
    Started flash = start("flash --port " + server.rfc2217() + " --from-app " + hexfile("kill.hex", 2040));
    ASSERT_TRUE(adapter.waitForFrames(200, 20s)) << server.log();
    server.stop();
    const Result r = finish(flash, 20s);
    // As when a local adapter is pulled out mid-flash: the line in flight gets no answer, the
    // update stops there and says so.
    EXPECT_EQ(r.signal, 0) << "hung";
    EXPECT_EQ(r.exit, 1) << r.err;
    EXPECT_NE(r.out.find("Completion   0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Timeout waiting for serial response"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("the bootloader did not report programming complete"), std::string::npos) << r.err;
}

TEST(CliRemote, TheScanListsRemotePortsNamedInThePortFolderAndThePerUserFile) {
    sim::Adapter adapter;
    sertest::Ser2net server(adapter.devicePath(), scratch());
    const std::string folder = scratch() + "/ports";
    std::filesystem::create_directories(folder + "/config/sarnel");
    std::ofstream(folder + "/COM150") << server.rfc2217() << "\n";
    std::ofstream(folder + "/config/sarnel/ports") << "# the bench\nCOM151 " << server.raw() << "\n";
    const char* config = ::getenv("XDG_CONFIG_HOME");
    const std::string before = config ? config : "";
    ::setenv("VESKOR_PORT_DIR", folder.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    const Result r = cli("ports --json");
    ::unsetenv("VESKOR_PORT_DIR");
    if (config)
        ::setenv("XDG_CONFIG_HOME", before.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(r.exit, 0) << r.err;
    std::map<std::string, std::string> listed;  // name: path
    for (const nlohmann::json& port : nlohmann::json::parse(r.out)) listed[port.at("name")] = port.at("path");
    EXPECT_EQ(listed["COM150"], server.rfc2217()) << r.out;
    EXPECT_EQ(listed["COM151"], server.raw()) << r.out;
}

TEST(CliRemote, APortThatCannotBeReachedSaysWhyWithHostAndPort) {
    const int port = sertest::freePort();  // nothing listens there
    const std::string url = "rfc2217://127.0.0.1:" + std::to_string(port);
    const Result r = cli("run --port " + url, "Start|Stop\n");
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("0x80040205"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(url + ": connection refused by 127.0.0.1 port " + std::to_string(port)),
              std::string::npos)
        << r.err;
}

}  // namespace
