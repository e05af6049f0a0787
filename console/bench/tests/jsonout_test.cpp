// Replies as JSON: every item type and reply code with its fields, and the texts beside them.
#include "console/bench/jsonout.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace sarnel::bench {
namespace {

using Json = nlohmann::json;

Json reply(std::string_view text, std::string_view lines = "") {
    return Json::parse(replyjson(0.25, text, lines));
}

TEST(ReplyJson, OneLineWithTimeCodeTextAndReply) {
    const std::string line = replyjson(0.0123456789, "0010sp", "START\r\nSTOP\r\n");
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line.rfind("{\"t\":0.012346,\"code\":\"10\",\"items\":", 0), 0u) << line;
    const Json j = Json::parse(line);
    EXPECT_EQ(j["text"], "START\r\nSTOP\r\n");
    EXPECT_EQ(j["reply"], "0010sp");
}

TEST(ReplyJson, EveryItemWithItsFields) {
    struct Row {
        const char* items;
        const char* json;
    };
    const Row rows[] = {
        {"s", R"([{"type":"start"}])"},
        {"P", R"([{"type":"stop"}])"},
        {"W90a", R"([{"type":"write","byte":144,"ack":true}])"},
        {"r19N", R"([{"type":"read","byte":25,"ack":false}])"},
        {"Rxyq", R"([{"type":"read","byte":null,"ack":null}])"},
        {"R5", R"([{"type":"read","byte":null,"ack":null}])"},
        {"01", R"([{"type":"speed","speed":100},{"type":"speed","speed":400}])"},
        {"2031", R"([{"type":"gpio","pin":0,"level":0},{"type":"gpio","pin":1,"level":1}])"},
        {"5x", R"([{"type":"gpio","pin":3,"level":null}])"},
        {"61", R"([{"type":"interrupt","level":1}])"},
        {"707376",
         R"([{"type":"supply","open":true,"volts":null},{"type":"supply","open":false,"volts":3.5},)"
         R"({"type":"supply","open":null,"volts":null}])"},
        {"8083", R"([{"type":"drive","line":"scl","level":0},{"type":"drive","line":"sda","level":1}])"},
        {"9192", R"([{"type":"line","line":"scl","level":1},{"type":"line","line":"sda","level":0}])"},
        {"D0Ad10", R"([{"type":"delay","value":10,"unit":"us"},{"type":"delay","value":16,"unit":"ms"}])"},
        {"A001011", R"([{"type":"pins","interrupt":0,"gpio":[1,1,0,1]}])"},
        {"A11100", R"([{"type":"directions","gpio":[0,0,1,1]}])"},
        {"A2a", R"([{"type":"directions-set"}])"},
        {"?76", R"([{"type":"bad-token","token":"76"}])"},
        {"x", R"([{"type":"unknown","char":"x"}])"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(reply("0010" + std::string(row.items))["items"], Json::parse(row.json)) << row.items;
}

TEST(ReplyJson, TheOtherCodesCarryTheirFields) {
    struct Row {
        const char* reply;
        const char* fields;  // what the object holds besides t, code, text and reply
    };
    const Row rows[] = {
        {"000002260005", R"({"device":"0226","revision":"00","version":"05"})"},
        {"0000", R"({"device":"","revision":"","version":""})"},
        {"0011s", R"({"stored":true})"},
        {"0011E", R"({"stored":false})"},
        {"0012e", R"({"replayed":false})"},
        {"0013", R"({"edge":"high-to-low"})"},
        {"0014", R"({"edge":"low-to-high"})"},
        {"0015", R"({"trigger":true})"},
        {"0016", R"({"trigger":false})"},
        {"0017", R"({"speed":100})"},
        {"0018", R"({"speed":400})"},
        {"00193300101", R"({"volts":3.3,"speed":400,"trigger":false,"edge":"low-to-high"})"},
        {"00190000x", R"({"volts":0.0,"speed":null,"trigger":null,"edge":null})"},
        {"001A08", R"({"cause":8,"reset":"power-up"})"},
        {"001A10", R"({"cause":16,"reset":"watchdog"})"},
        {"0020x1", R"({"interrupt":1})"},
        {"0020", R"({"interrupt":null})"},
        {"0006x", R"({})"},
        {"001a08", R"({})"},
    };
    for (const Row& row : rows) {
        Json j = reply(row.reply);
        EXPECT_EQ(j["code"], std::string(row.reply).substr(2, 2)) << row.reply;
        for (const char* common : {"t", "code", "text", "reply"}) j.erase(common);
        EXPECT_EQ(j, Json::parse(row.fields)) << row.reply;
    }
}

TEST(ReplyJson, BytesAboveAsciiAreTheirLatin1Characters) {
    const Json j = reply("0010\xFFx", "caf\xE9");
    EXPECT_EQ(j["reply"], "0010\u00FFx");
    EXPECT_EQ(j["text"], "caf\u00E9");
    EXPECT_EQ(j["items"][0], Json::parse(R"({"type":"unknown","char":"\u00FF"})"));
}

TEST(ScanAndRegisterJson, AsDocumented) {
    EXPECT_EQ(scanjson({72, 80}), R"({"found":[72,80]})");
    EXPECT_EQ(scanjson({}), R"({"found":[]})");
    EXPECT_EQ(registerjson({72, 0, false}, {25, 128}), R"({"addr":72,"reg":0,"data":[25,128]})");
}

}  // namespace
}  // namespace sarnel::bench
