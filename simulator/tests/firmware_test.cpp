// The application firmware and its bus, driven line by line without a link.
#include "../src/firmware.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace sim {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

class App : public ::testing::Test {
protected:
    // The reply texts to one line, taken at the test's clock, which then moves past their time.
    std::vector<std::string> send(const std::string& line) {
        std::vector<std::string> texts;
        for (const Firmware::Reply& r : fw.line(line, now)) {
            now += r.after;
            texts.push_back(r.text);
        }
        return texts;
    }
    std::string one(const std::string& line) {
        const auto r = send(line);
        return r.size() == 1 ? r[0] : "<" + std::to_string(r.size()) + " replies>";
    }
    std::string script(const std::string& tokens) {
        char len[3];
        std::snprintf(len, sizeof len, "%02X", static_cast<unsigned>(tokens.size() / 2 + 1));
        return one("0010" + std::string(len) + tokens);
    }

    Options options;
    Firmware fw{options};
    Clock::time_point now = Clock::now();
};

TEST_F(App, IdentificationFollowsModelAndVersion) {
    EXPECT_EQ(one("0000"), "000002260005");
    fw.setModel(Model::Rs232_6208);
    fw.setFirmwareVersion(12, 0);
    EXPECT_EQ(one("0000"), "000001530012");
    fw.setFirmwareVersion(7, 1);
    EXPECT_EQ(one("0000"), "000001530107");
    EXPECT_THROW(fw.setFirmwareVersion(100, 0), std::invalid_argument);
}

TEST_F(App, FramesItDoesNotKnowGetNoReply) {
    for (const char* line : {"", "0", "000", "0100", "0000x", "0099", "00FF1234", "00FF", "E", ":00000001FF"})
        EXPECT_TRUE(send(line).empty()) << line;
}

TEST_F(App, FixedCommandsEchoTheirCodeAndChangeTheStatus) {
    EXPECT_EQ(one("0019"), "00190000000");
    // speed, trigger, edge flags after each command
    const std::vector<std::pair<std::string, std::string>> steps = {
        {"0018", "100"}, {"0015", "110"}, {"0014", "111"}, {"0017", "011"}, {"0016", "001"}, {"0013", "000"},
    };
    for (const auto& [frame, flags] : steps) {
        EXPECT_EQ(one(frame), frame);
        EXPECT_EQ(one("0019"), "00190000" + flags) << frame;
    }
    script("73");
    EXPECT_EQ(one("0019"), "00193500000");
    script("760CE4");
    EXPECT_EQ(one("0019"), "00193300000");
    script("70");
    EXPECT_EQ(one("0019"), "00190000000");
}

TEST_F(App, ScriptWithEveryTokenKind) {
    fw.setGpioInput(2, false);
    // start, write, reads, stop, delays, speed, pins, int, supply, lines, line levels, pin
    // states and directions
    const std::string tokens =
        "00"
        "0190"
        "0100"
        "02"
        "03"
        "04"
        "050A"
        "0601"
        "10"
        "21"
        "30"
        "41"
        "50"
        "60"
        "75"
        "761388"
        "80"
        "90"
        "81"
        "82"
        "92"
        "83"
        "A0"
        "A1"
        "A20101"
        "A1"
        "A0";
    EXPECT_EQ(script(tokens),
              // reads without a repeated start: the sensor is listening, nobody sends
              "0010"
              "s"
              "W90a"
              "W00a"
              "RFFa"
              "RFFn"
              "p"
              "D0A"
              "d01"
              "0"
              "21"
              "30"
              "41"
              "50"
              "61"
              "75"
              "76"
              "80"
              "90"
              "81"
              "82"
              "92"
              "83"
              "A011011"
              "A11111"
              "A2a"
              "A10101"
              "A010001");
    const BusState s = fw.state();
    EXPECT_EQ(s.supplyMillivolts, 5000);
    EXPECT_EQ(s.gpioInput, (std::array<bool, 4>{true, false, true, false}));
    EXPECT_EQ(s.gpioLatch, (std::array<bool, 4>{true, false, true, false}));
    EXPECT_EQ(s.lastSequence, tokens);
}

TEST_F(App, DelaysTakeTheirTime) {
    const Firmware::Replies r = fw.line("0010050505060A", now);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].after, microseconds(5 + 20) + milliseconds(10));
}

TEST_F(App, RefusedTokensAndFrames) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"001002"
         "76",
         "0010?76"},  // badtokentest alone
        {"001003"
         "7600",
         "0010?76s"},  // ... followed by a start
        {"001004"
         "761389",
         "0010?76"},  // 5.001 V
        {"001004"
         "A21201",
         "0010?A2?12?01"},  // not a direction word: 12 unknown, 01 short
        {"001002"
         "99",
         "0010?99"},  // unknown code
        {"001003"
         "01"
         "00",
         "0010W00n"},  // write with nobody addressed
        {"001002"
         "01",
         "0010?01"},  // write without its byte
        {"001004"
         "A21",
         "0010?04"},                                    // "GPDIR 1": 3 token bytes claimed
        {"00107E" + std::string(250, '0'), "0010?7E"},  // length byte above 125
        {"0010"
         "00",
         "0010?00"},
        {"0010"
         "G1",
         "0010?G1"},
        {"0010", "0010?"},
        {"001001", "0010"},             // no tokens: nothing to do
        {"001002!\x01", "0010??\x3F"},  // echoes cannot break the framing
        {"0010\x7F!", "0010???"},
    };
    for (const auto& [line, reply] : cases) EXPECT_EQ(one(line), reply) << line;
}

TEST_F(App, Lm75SamplesReadWhatTheyWrote) {
    fw.setTemperature(-25.5);
    const std::vector<std::pair<std::string, std::string>> steps = {
        // 2-byte read with the preset pointer (temperature)
        {"0191"
         "02"
         "03"
         "04",
         "sW91aRE6a"
         "R80n"
         "p"},
        // pointer set to Thyst, 2-byte read: 75 C
        {"0190"
         "0102"
         "00"
         "0191"
         "02"
         "03"
         "04",
         "sW90aW02asW91aR4Ba"
         "R00n"
         "p"},
        // Tos / Thyst write: 0x34, 0x52 (only bit 7 of the second byte is kept)
        {"0190"
         "0102"
         "0134"
         "0152"
         "04",
         "sW90aW02aW34aW52ap"},
        {"0191"
         "02"
         "03"
         "04",
         "sW91aR34aR00np"},
        // configuration write 0x12, then pointer set and 1-byte read, then preset read
        {"0190"
         "0101"
         "0112"
         "04",
         "sW90aW01aW12ap"},
        {"0190"
         "0101"
         "00"
         "0191"
         "03"
         "04",
         "sW90aW01asW91aR12np"},
        {"0191"
         "03"
         "04",
         "sW91aR12np"},
    };
    for (const auto& [body, items] : steps) EXPECT_EQ(script("00" + body), "0010" + items) << body;
    EXPECT_EQ(fw.state().lm75.thyst, 0x3400);
    EXPECT_EQ(fw.state().lm75.config, 0x12);
}

TEST_F(App, Lm75ShutdownHoldsTheTemperature) {
    script(
        "00"
        "0190"
        "0101"
        "0101"
        "04");  // config: shut down
    fw.setTemperature(30);
    EXPECT_EQ(fw.state().lm75.temperature, 0x1900);
    script(
        "00"
        "0190"
        "0101"
        "0100"
        "04");
    EXPECT_EQ(fw.state().lm75.temperature, 0x1E00);
    fw.setTemperature(500);  // limited to the sensor's range
    EXPECT_EQ(fw.state().lm75.temperature, 0x7D00);
}

TEST_F(App, EepromPageWriteWrapsAndReadsBackSequentially) {
    // Write 4 bytes from 0x06: 0x06, 0x07, then wrap to 0x00, 0x01 of the same page.
    EXPECT_EQ(script("00"
                     "01A0"
                     "0106"
                     "0111"
                     "0122"
                     "0133"
                     "0144"
                     "04"),
              "0010sWA0aW06aW11aW22aW33aW44ap");
    // Busy during the write cycle, answering again after it.
    EXPECT_EQ(script("00"
                     "01A0"
                     "04"),
              "0010sWA0np");
    EXPECT_EQ(script("0605"
                     "00"
                     "01A0"
                     "0100"
                     "00"
                     "01A1"
                     "02"
                     "02"
                     "02"
                     "02"
                     "02"
                     "02"
                     "02"
                     "03"
                     "04"),
              "0010d05sWA0aW00asWA1aR33aR44aRFFaRFFaRFFaRFFaR11aR22np");
    const BusState s = fw.state();
    EXPECT_EQ(s.eeprom[0x00], 0x33);
    EXPECT_EQ(s.eeprom[0x07], 0x22);
    EXPECT_EQ(s.eeprom[0x08], 0xFF);
    EXPECT_EQ(s.eepromAddress, 0x08);
    // Writing at 0xFF wraps to 0xF8, the start of its page; reads run on, wrapping at 256.
    script(
        "00"
        "01A0"
        "01FF"
        "0199"
        "0198"
        "04");
    EXPECT_EQ(fw.state().eeprom[0xF8], 0x98);
    EXPECT_EQ(script("0605"
                     "00"
                     "01A0"
                     "01FF"
                     "00"
                     "01A1"
                     "02"
                     "03"
                     "04"),
              "0010d05sWA0aWFFasWA1aR99aR33np");
}

// --- Devices at chosen addresses -------------------------------------------------------------

// A script frame's items on a bus of `devices`.
std::string items(const std::vector<Device>& devices, const std::string& tokens) {
    Options o;
    o.devices = devices;
    Firmware fw(o);
    char len[3];
    std::snprintf(len, sizeof len, "%02X", static_cast<unsigned>(tokens.size() / 2 + 1));
    const auto r = fw.line("0010" + std::string(len) + tokens, Clock::now());
    return r.size() == 1 ? r[0].text.substr(4) : "";
}

TEST(Devices, AnswerAtTheirOwnAddressesOnly) {
    // Address bytes 0x90 (0x48), 0x92 (0x49), 0xA0 (0x50), 0xAE (0x57), each probed alone.
    const std::string probes =
        "000190040001920400"
        "01A0040001AE04";
    EXPECT_EQ(items(defaultDevices(), probes), "sW90apsW92npsWA0apsWAEnp");
    EXPECT_EQ(items({}, probes), "sW90npsW92npsWA0npsWAEnp");
    EXPECT_EQ(items({{DeviceKind::Lm75, 0x49}, {DeviceKind::Eeprom, 0x57}}, probes),
              "sW90npsW92apsWA0npsWAEap");
    // Two of a kind keep their own registers: the second LM75's pointer is set to 1, its
    // configuration written, and the first one still reads its temperature.
    const std::vector<Device> two{{DeviceKind::Lm75, 0x48}, {DeviceKind::Lm75, 0x4F}};
    EXPECT_EQ(items(two,
                    "00019E"
                    "0101"
                    "0166"
                    "04"
                    "00019E"
                    "0101"
                    "00019F"
                    "03"
                    "04"
                    "0001"
                    "91"
                    "02"
                    "03"
                    "04"),
              "sW9EaW01aW66apsW9EaW01asW9FaR66npsW91aR19aR00np");
}

TEST(Devices, EachEepromKeepsItsOwnMemory) {
    Options o;
    o.devices = {{DeviceKind::Eeprom, 0x50}, {DeviceKind::Eeprom, 0x57}};
    o.eepromWriteCycle = microseconds(0);
    Firmware fw(o);
    fw.line(
        "001009"
        "0001AE"
        "0110"
        "01C3"
        "04",
        Clock::now());
    const BusState s = fw.state();
    ASSERT_EQ(s.eeproms.size(), 2u);
    EXPECT_EQ(s.eeproms.at(0x57).bytes[0x10], 0xC3);
    EXPECT_EQ(s.eeproms.at(0x50).bytes[0x10], 0xFF);
    EXPECT_EQ(s.eeprom[0x10], 0xFF);  // the lowest address stands for "the" EEPROM
    EXPECT_TRUE(s.lm75s.empty());
}

TEST(Devices, ABusThatCannotBeIsRefused) {
    for (const std::vector<Device>& devices :
         std::vector<std::vector<Device>>{{{DeviceKind::Lm75, 0x48}, {DeviceKind::Eeprom, 0x48}},
                                          {{DeviceKind::Eeprom, 0x07}},
                                          {{DeviceKind::Lm75, 0x78}}}) {
        Options o;
        o.devices = devices;
        EXPECT_THROW(Firmware{o}, std::invalid_argument);
    }
}

TEST(Devices, SpecsAsTheCommandLineWritesThem) {
    struct Row {
        const char* spec;
        std::optional<Device> device;
    };
    const Row rows[] = {
        {"lm75@0x49", Device{DeviceKind::Lm75, 0x49}},
        {"EEPROM@0X57", Device{DeviceKind::Eeprom, 0x57}},
        {"eeprom@80", Device{DeviceKind::Eeprom, 80}},
        {"lm75@0x08", Device{DeviceKind::Lm75, 0x08}},
        {"lm75@0x77", Device{DeviceKind::Lm75, 0x77}},
        {"lm75@0x78", std::nullopt},
        {"lm75@7", std::nullopt},
        {"lm75@0x90", std::nullopt},
        {"lm75@", std::nullopt},
        {"lm75@0x", std::nullopt},
        {"lm75@0x4g", std::nullopt},
        {"lm75@-1", std::nullopt},
        {"lm75@ 72", std::nullopt},
        {"lm75", std::nullopt},
        {"lm76@0x48", std::nullopt},
        {"@0x48", std::nullopt},
        {"lm75@0x48@0x49", std::nullopt},
        {"eeprom@0x0000000000000050", std::nullopt},
    };
    for (const Row& row : rows) {
        std::string why;
        EXPECT_EQ(deviceFromSpec(row.spec, &why), row.device) << row.spec;
        EXPECT_EQ(why.empty(), row.device.has_value()) << row.spec;
    }
}

TEST_F(App, EepromDropsAWriteEndedByARepeatedStart) {
    script(
        "00"
        "01A0"
        "0110"
        "0155"
        "00"
        "01A1"
        "03"
        "04");
    EXPECT_EQ(fw.state().eeprom[0x10], 0xFF);
    EXPECT_EQ(script("00"
                     "01A0"
                     "04"),
              "0010sWA0ap");  // no write cycle started
}

TEST_F(App, OtherAddressesAreNotAcknowledged) {
    EXPECT_EQ(script("00"
                     "0192"
                     "0155"
                     "02"
                     "04"),
              "0010sW92nW55nRFFap");
    EXPECT_EQ(script("00"
                     "0191"
                     "0155"
                     "03"
                     "04"),
              "0010sW91aW55nR19np");
}

TEST_F(App, StoreReplayAndInterrupt) {
    EXPECT_EQ(one("0011"), "0011e");
    EXPECT_EQ(one("0012"), "0012e");
    script(
        "60"
        "A0");
    EXPECT_EQ(one("0011"), "0011s");
    EXPECT_EQ(send("0012"), (std::vector<std::string>{"0010"
                                                      "61"
                                                      "A011111",
                                                      "0012s"}));

    // Trigger off: no report. On with H>L: only falling edges report, then run the sequence.
    EXPECT_TRUE(fw.interruptInput(false, now).empty());
    EXPECT_TRUE(fw.interruptInput(true, now).empty());
    one("0015");
    const auto falling = fw.interruptInput(false, now);
    ASSERT_EQ(falling.size(), 2u);
    EXPECT_EQ(falling[0].text, "002060");
    EXPECT_EQ(falling[1].text,
              "0010"
              "60"
              "A001111");
    EXPECT_TRUE(fw.interruptInput(true, now).empty());
    EXPECT_TRUE(fw.interruptInput(true, now).empty());  // no change, no edge
    one("0014");
    EXPECT_TRUE(fw.interruptInput(false, now).empty());
    EXPECT_EQ(fw.interruptInput(true, now).front().text, "002061");

    // The store survives a reset; the last sequence and the settings do not.
    EXPECT_EQ(one("0007"), "001A10");
    EXPECT_EQ(one("0006"), "000603");
    EXPECT_EQ(one("0011"), "0011e");
    EXPECT_EQ(fw.state().storedSequence, "60A0");
    EXPECT_FALSE(fw.state().triggerOn);
}

TEST_F(App, BootloaderEntryAndReturn) {
    EXPECT_EQ(one("0006"), "000601");
    EXPECT_EQ(one("00FF5A3C"), "Bb");
    EXPECT_TRUE(fw.state().inBootloader);
    EXPECT_EQ(one("0000"), "Bw");
    EXPECT_TRUE(fw.interruptInput(false, now).empty());
    EXPECT_EQ(send("0007"), (std::vector<std::string>{"Br", "001A10"}));
    EXPECT_FALSE(fw.state().inBootloader);
    EXPECT_EQ(one("0000"), "000002260005");
}

}  // namespace
}  // namespace sim
