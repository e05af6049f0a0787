// sarnel-cli's bench commands against the simulator: bus-scan, reg, and run with --json,
// --repeat and --log; press --json.
#include <gtest/gtest.h>
#include <sim/simulator.h>

#include <csignal>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli_support.h"
#include "fakeadapter_support.h"

namespace {

using namespace clitest;
using namespace std::chrono_literals;
using Json = nlohmann::json;

// A simulated adapter with these devices on its bus (and EEPROM writes that take no time).
std::unique_ptr<sim::Adapter> adapterwith(std::vector<sim::Device> devices) {
    sim::Options options;
    options.devices = std::move(devices);
    options.eepromWriteCycle = 0us;
    return std::make_unique<sim::Adapter>(options);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The grid rows that are not all "--" and blanks, i.e. that show a device.
std::vector<std::string> devicerows(const std::string& grid) {
    std::vector<std::string> rows;
    for (const std::string& line : lines(grid))
        if (line.size() > 3 && line[2] == ':' && line.find_first_not_of(" -", 3) != std::string::npos)
            rows.push_back(line);
    return rows;
}

TEST(CliBusScan, NoneOneAndSeveralDevices) {
    struct Row {
        std::vector<sim::Device> devices;
        std::vector<int> found;
    };
    const Row rows[] = {
        {{}, {}},
        {{{sim::DeviceKind::Lm75, 0x49}}, {0x49}},
        {{{sim::DeviceKind::Eeprom, 0x08},
          {sim::DeviceKind::Lm75, 0x48},
          {sim::DeviceKind::Lm75, 0x4F},
          {sim::DeviceKind::Eeprom, 0x57},
          {sim::DeviceKind::Eeprom, 0x77}},
         {0x08, 0x48, 0x4F, 0x57, 0x77}},
    };
    for (const Row& row : rows) {
        auto adapter = adapterwith(row.devices);
        const Result grid = cli("bus-scan --port " + adapter->devicePath());
        ASSERT_EQ(grid.exit, 0) << grid.err;
        EXPECT_EQ(adapter->framesReceived().size(), 4u);
        const std::vector<std::string> l = lines(grid.out);
        ASSERT_EQ(l.size(), 9u) << grid.out;
        EXPECT_EQ(l[0], "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f");
        EXPECT_EQ(l[8].substr(0, 27), !row.found.empty() && row.found.back() == 0x77
                                          ? "70: -- -- -- -- -- -- -- 77"
                                          : "70: -- -- -- -- -- -- -- --");
        // JSON that parses, and says what the grid says.
        const Result json = cli("bus-scan --json --port " + adapter->devicePath());
        ASSERT_EQ(json.exit, 0) << json.err;
        const Json found = Json::parse(json.out)["found"];
        EXPECT_EQ(found, Json(row.found));
        std::size_t shown = 0;
        for (const std::string& r : devicerows(grid.out))
            for (std::size_t at = 4; at + 2 <= r.size(); at += 3)
                if (r.compare(at, 2, "--") != 0 && r.compare(at, 2, "  ") != 0) {
                    EXPECT_EQ(std::stoi(r.substr(at, 2), nullptr, 16), row.found.at(shown)) << r;
                    ++shown;
                }
        EXPECT_EQ(shown, row.found.size()) << grid.out;
    }
}

TEST(CliBusScan, ARangeEndingMidFrameAndReadProbes) {
    auto adapter = adapterwith(
        {{sim::DeviceKind::Lm75, 0x26}, {sim::DeviceKind::Eeprom, 0x27}, {sim::DeviceKind::Lm75, 0x30}});
    // 0x08 to 0x30 is 31 probes and 10 more.
    const Result r = cli("bus-scan --json --first 8 --last 0x30 --port " + adapter->devicePath());
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "{\"found\":[38,39,48]}\n");
    EXPECT_EQ(adapter->framesReceived().size(), 2u);
    EXPECT_EQ(adapter->framesReceived()[1].substr(0, 6), "001029");  // 10 probes: 40 token bytes

    const Result read = cli("bus-scan --read --first 0x27 --last 0x27 --port " + adapter->devicePath());
    EXPECT_EQ(read.exit, 0) << read.err;
    EXPECT_EQ(adapter->framesReceived().back(),
              "0010060001"
              "4F"
              "0304");
    EXPECT_EQ(devicerows(read.out), std::vector<std::string>{"20:                      27"});
}

TEST(CliReg, ReadsAndWritesTheSimulatedLm75) {
    const Result temperature = cli("reg read --simulate --addr 0x48 --reg 0 --count 2");
    EXPECT_EQ(temperature.exit, 0) << temperature.err;
    EXPECT_EQ(temperature.out, "0x19 0x00\n");
    const Result json = cli("reg read --simulate --addr 72 --reg 0 --count 2 --json");
    EXPECT_EQ(json.exit, 0) << json.err;
    EXPECT_EQ(Json::parse(json.out), Json::parse(R"({"addr": 72, "reg": 0, "data": [25, 0]})"));

    auto adapter = adapterwith(sim::defaultDevices());
    const std::string port = " --port " + adapter->devicePath();
    const Result write = cli("reg write --addr 0x48 --reg 2 --data 0x3C,0x80" + port);
    EXPECT_EQ(write.exit, 0) << write.err;
    EXPECT_EQ(write.out, "");
    EXPECT_EQ(adapter->bus().lm75.thyst, 0x3C80);
    EXPECT_EQ(cli("reg read --addr 0x48 --reg 2 --count 2" + port).out, "0x3C 0x80\n");
}

TEST(CliReg, A256ByteEepromReadIsOneSequentialReadOverThreeFrames) {
    auto adapter = adapterwith({{sim::DeviceKind::Eeprom, 0x57}});
    const std::string port = " --port " + adapter->devicePath();
    // Pages across the frames' ends: the first frame reads bytes 0 to 115, the second 116 to 239.
    for (int page : {0x00, 0x70, 0xF0, 0xF8}) {
        std::string data;
        for (int i = 0; i < 8; ++i) data += (i ? "," : "") + std::to_string((page + i) ^ 0x5A);
        ASSERT_EQ(cli("reg write --addr 0x57 --reg " + std::to_string(page) + " --data " + data + port).exit,
                  0);
    }
    const std::size_t before = adapter->framesReceived().size();
    const Result r = cli("reg read --json --addr 0x57 --reg 0 --count 256" + port);
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(adapter->framesReceived().size() - before, 3u);
    const std::vector<std::uint8_t> data = Json::parse(r.out)["data"];
    const auto eeprom = adapter->bus().eeproms.at(0x57).bytes;
    EXPECT_EQ(data, std::vector<std::uint8_t>(eeprom.begin(), eeprom.end()));
    EXPECT_EQ(data[0x74], 0x74 ^ 0x5A);
    EXPECT_EQ(data[0xFF], 0xFF ^ 0x5A);
    EXPECT_EQ(data[0x80], 0xFF);
}

TEST(CliReg, ANackNamesTheByteThatWasNotAcknowledged) {
    const Result address = cli("reg read --simulate --addr 0x49 --reg 0 --count 2");
    EXPECT_EQ(address.exit, 1);
    EXPECT_EQ(address.err,
              "sarnel-cli reg: the address byte 0x92 (device 0x49, write) was not acknowledged\n");
    EXPECT_EQ(address.out, "");
    const Result write = cli("reg write --simulate --addr 0x10 --reg 0 --data 1");
    EXPECT_EQ(write.exit, 1);
    EXPECT_NE(write.err.find("address byte 0x20 (device 0x10, write)"), std::string::npos) << write.err;

    // None of the simulated devices refuses a register address: an adapter played by the test does.
    FakeAdapter fussy([](const std::string& frame) {
        if (frame.rfind("$0010", 0) != 0) return std::vector<Piece>{};
        return std::vector<Piece>{{0ms,
                                   "!0010sW90aW7Fn"
                                   "sW91aR00aR00np\r\n"}};
    });
    const Result reg = cli("reg read --addr 0x48 --reg 0x7F --count 2 --port " + fussy.path());
    EXPECT_EQ(reg.exit, 1);
    EXPECT_EQ(reg.err,
              "sarnel-cli reg: the register address byte 0x7F was not acknowledged by device 0x48\n");
}

TEST(CliReg, BadArguments) {
    struct Row {
        const char* args;
        const char* says;
    };
    const Row rows[] = {
        {"reg", "say read or write"},
        {"reg peek --simulate --addr 1 --reg 1", "say read or write"},
        {"reg read --simulate --reg 0", "--addr A is required"},
        {"reg read --simulate --addr 0x90 --reg 0", "0x90 is the write address byte of 0x48"},
        {"reg read --simulate --addr 0x48 --reg 0x100", "--reg16 for 16-bit"},
        {"reg read --simulate --addr 0x48 --reg 0 --count 0", "--count takes a byte count"},
        {"reg read --simulate --addr 0x48 --reg 0 --data 1", "--data belongs to reg write"},
        {"reg write --simulate --addr 0x48 --reg 0", "--data B[,B...] is required"},
        {"reg write --simulate --addr 0x48 --reg 0 --data 1,,2", "byte 2 is ''"},
        {"reg write --simulate --addr 0x48 --reg 0 --data 1 --count 2", "--count belongs to reg read"},
        {"reg read --simulate --addr 0x48 --reg 0 --continuous", "unknown option '--continuous'"},
        {"reg read --addr 0x48 --reg 0", "--port NAME is required"},
        {"bus-scan --simulate --first 0x50 --last 0x40", "--first is above --last"},
        {"bus-scan --simulate --last 0x80", "--last takes a 7-bit address"},
        {"bus-scan --simulate --first", "--first needs a value"},
        {"run --simulate --interval 10", "--interval goes with --repeat"},
        {"run --simulate --repeat -1", "--repeat takes a count"},
        {"run --simulate --repeat 2 --interval 1s", "--interval takes milliseconds"},
    };
    for (const Row& row : rows) {
        const Result r = cli(row.args);
        EXPECT_EQ(r.exit, 2) << row.args;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << row.args << ": " << r.err;
    }
}

const char* kLm75Read = "Start|Write 0x90|Write 0x00|Start|Write 0x91|Read Ack|Read Nack|Stop\n";

TEST(CliRun, JsonLinesParseAndSayWhatTheTextSays) {
    const Result text = cli("run --simulate", kLm75Read);
    ASSERT_EQ(text.exit, 0) << text.err;
    const Result json = cli("run --simulate --json", kLm75Read);
    ASSERT_EQ(json.exit, 0) << json.err;
    const std::vector<std::string> objects = lines(json.out);
    ASSERT_EQ(objects.size(), 1u) << json.out;
    const Json j = Json::parse(objects[0]);
    EXPECT_EQ(j["code"], "10");
    EXPECT_GT(j["t"].get<double>(), 0.0);
    EXPECT_LT(j["t"].get<double>(), 5.0);
    EXPECT_EQ(j["reply"], "0010sW90aW00asW91aR19aR00np");
    // The text field is what the plain run prints, and each item is one of its lines.
    const std::vector<std::string> shown = lines(text.out);
    std::string joined;
    for (const std::string& l : shown) joined += l + "\r\n";
    EXPECT_EQ(j["text"], joined);
    const Json& items = j["items"];
    ASSERT_EQ(items.size(), shown.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string type = items[i]["type"];
        if (type == "start" || type == "stop") {
            EXPECT_EQ(shown[i], type == "start" ? "START" : "STOP");
            continue;
        }
        char expected[32];
        std::snprintf(expected, sizeof expected, "%s\t0x%02X\t%s", type == "write" ? "WRITE" : "READ",
                      items[i]["byte"].get<int>(), items[i]["ack"].get<bool>() ? "Ack" : "Nack");
        EXPECT_EQ(shown[i], expected);
    }
}

TEST(CliPress, JsonForEachReplyOfTheButton) {
    const Result r = cli("press --simulate --json Ping");
    ASSERT_EQ(r.exit, 0) << r.err;
    const std::vector<std::string> objects = lines(r.out);
    ASSERT_EQ(objects.size(), 2u) << r.out;
    const Json id = Json::parse(objects[0]);
    const Json status = Json::parse(objects[1]);
    EXPECT_EQ(id["device"], "0226");
    EXPECT_EQ(id["version"], "05");
    EXPECT_EQ(status["code"], "19");
    EXPECT_EQ(status["speed"], 100);
    EXPECT_EQ(status["edge"], "high-to-low");
    EXPECT_LT(id["t"].get<double>(), status["t"].get<double>());
}

TEST(CliRun, RepeatPrintsEachRunAndASummary) {
    auto adapter = adapterwith(sim::defaultDevices());
    const auto begun = std::chrono::steady_clock::now();
    const Result r = cli("run --repeat 4 --interval 50 --port " + adapter->devicePath(), kLm75Read);
    const auto took = std::chrono::steady_clock::now() - begun;
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(adapter->framesReceived().size(), 4u);
    std::size_t starts = 0;
    for (const std::string& l : lines(r.out)) starts += l == "START";
    EXPECT_EQ(starts, 8u) << r.out;  // two starts a run
    EXPECT_GE(took, 150ms);          // three intervals between four runs
    EXPECT_NE(r.err.find("sarnel-cli run: runs 4, replies 4, time-outs 0; round trip min "),
              std::string::npos)
        << r.err;

    const Result json = cli("run --repeat 3 --json --port " + adapter->devicePath(), kLm75Read);
    ASSERT_EQ(json.exit, 0) << json.err;
    double last = 0;
    for (const std::string& l : lines(json.out)) {
        const Json j = Json::parse(l);
        EXPECT_GT(j["t"].get<double>(), last);
        last = j["t"];
        EXPECT_EQ(j["items"][5]["byte"], 0x19);
    }
    EXPECT_EQ(lines(json.out).size(), 3u);
}

TEST(CliRun, RepeatWithoutAnswersCountsTimeOutsAndExitsThree) {
    FakeAdapter silent([](const std::string&) { return std::vector<Piece>{}; });
    const Result r = cli("run --repeat 3 --timeout 50 --port " + silent.path(), "Start|Stop\n");
    EXPECT_EQ(r.exit, 3) << r.err;
    EXPECT_NE(r.err.find("runs 3, replies 0, time-outs 3"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("3 of 3 runs had no reply from " + silent.path() + " within 50 ms"),
              std::string::npos)
        << r.err;
}

TEST(CliRun, RepeatWithAnUnplugEndsWithAMessageAndExitOne) {
    auto adapter = adapterwith(sim::defaultDevices());
    Started run = start("run --repeat 0 --timeout 200 --port " + adapter->devicePath(), kLm75Read);
    ASSERT_TRUE(adapter->waitForFrames(20, 10s));
    const std::string path = adapter->devicePath();
    adapter->unplug();
    const Result r = finish(run, 10s);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exit, 1) << r.err;
    // The hot-plug watcher says so, or the next write fails first.
    EXPECT_TRUE(r.err.find("the adapter on " + path + " was unplugged") != std::string::npos ||
                r.err.find("could not be sent") != std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("sarnel-cli run: runs "), std::string::npos) << r.err;
    std::size_t starts = 0;
    for (const std::string& l : lines(r.out)) starts += l == "START";
    EXPECT_GE(starts, 38u);  // every run answered before the unplug (the 20th may not be)
}

TEST(CliRun, CtrlCEndsARepeatWithItsSummary) {
    auto adapter = adapterwith(sim::defaultDevices());
    const std::string log = scratch() + "/interrupted.csv";
    Started run = start("run --repeat 0 --log " + log + " --port " + adapter->devicePath(), kLm75Read);
    ASSERT_TRUE(adapter->waitForFrames(10, 10s));
    ::kill(run.pid, SIGINT);
    const Result r = finish(run, 5s);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exit, 130) << r.err;
    EXPECT_NE(r.err.find("interrupted (SIGINT)"), std::string::npos) << r.err;
    const std::size_t at = r.err.find("sarnel-cli run: runs ");
    ASSERT_NE(at, std::string::npos) << r.err;
    EXPECT_GE(std::stoul(r.err.substr(at + 21)), 10u) << r.err;
    EXPECT_NE(r.err.find("round trip min"), std::string::npos) << r.err;
    // The log holds what went out and came back until the end.
    const std::vector<std::string> rows = lines(slurp(log));
    ASSERT_GE(rows.size(), 21u);
    EXPECT_EQ(rows[0], "time,since_previous_ms,direction,raw,decoded");
    EXPECT_NE(rows[1].find(",sent,$00100C0001900100000191020304[cr],"), std::string::npos) << rows[1];
}

TEST(CliRun, LogAsCsvAndAsText) {
    auto adapter = adapterwith(sim::defaultDevices());
    const std::string csv = scratch() + "/run.csv";
    const Result r =
        cli("run --repeat 2 --log " + csv + " --port " + adapter->devicePath(), "Start|Write 0x90|Stop\n");
    ASSERT_EQ(r.exit, 0) << r.err;
    const std::vector<std::string> rows = lines(slurp(csv));
    ASSERT_EQ(rows.size(), 1u + 2 * (1 + 3)) << slurp(csv);  // a reply row takes three lines
    EXPECT_NE(rows[1].find(",0.000,sent,$00100500019004[cr],"), std::string::npos) << rows[1];
    EXPECT_NE(rows[2].find(",received,!0010sW90ap[cr],\"START"), std::string::npos) << rows[2];
    EXPECT_EQ(rows[3], "WRITE\t0x90\tAck");
    EXPECT_EQ(rows[4], "STOP\"");

    const std::string text = scratch() + "/run.log";
    ASSERT_EQ(cli("run --log " + text + " --port " + adapter->devicePath(), "Start|Stop\n").exit, 0);
    const std::vector<std::string> entries = lines(slurp(text));
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_NE(entries[0].find("  +0.000 ms  > $001003000"
                              "4[cr]"),
              std::string::npos)
        << entries[0];
    EXPECT_NE(entries[1].find(" ms  < !0010sp[cr]"), std::string::npos) << entries[1];
    EXPECT_EQ(entries[2], "    START");

    const Result nowhere = cli("run --simulate --log /nonexistent/run.csv", "Start|Stop\n");
    EXPECT_EQ(nowhere.exit, 1);
    EXPECT_NE(nowhere.err.find("cannot write the log '/nonexistent/run.csv'"), std::string::npos)
        << nowhere.err;
}

}  // namespace
