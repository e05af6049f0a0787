// The session log's entries and its CSV and text forms, and the file that takes them.
#include "console/bench/sessionlog.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace sarnel::bench {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

// A fixed wall-clock time in the UTC zone: 2026-12-08 16:15:55.123456.
class SessionLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        saved_ = tz ? tz : "";
        hadTz_ = tz != nullptr;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override {
        if (hadTz_)
            ::setenv("TZ", saved_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    const std::chrono::system_clock::time_point wall =
        std::chrono::system_clock::time_point(std::chrono::seconds(1796746555)) + microseconds(123456);
    const std::chrono::steady_clock::time_point mono = std::chrono::steady_clock::now();

private:
    std::string saved_;
    bool hadTz_ = false;
};

TEST_F(SessionLogTest, EntriesTimeThemselvesAgainstTheOneBefore) {
    SessionLog log;
    const LogEntry sent = log.sent("$00100500019004\r", wall, mono);
    const LogEntry got = log.received("0010sW90ap", "START\r\nWRITE\t0x90\tAck\r\nSTOP\r\n",
                                      wall + microseconds(5401), mono + microseconds(5401));
    EXPECT_EQ(sent.sincePrevious, microseconds(0));
    EXPECT_EQ(sent.raw, "$00100500019004[cr]");
    EXPECT_EQ(got.sincePrevious, microseconds(5401));
    EXPECT_EQ(got.raw, "!0010sW90ap[cr]");
    EXPECT_EQ(isotime(wall), "2026-12-08T16:15:55.123456+00:00");

    EXPECT_EQ(csvheader(), "time,since_previous_ms,direction,raw,decoded\n");
    EXPECT_EQ(csvrow(sent), "2026-12-08T16:15:55.123456+00:00,0.000,sent,$00100500019004[cr],\n");
    EXPECT_EQ(csvrow(got),
              "2026-12-08T16:15:55.128857+00:00,5.401,received,!0010sW90ap[cr],"
              "\"START\nWRITE\t0x90\tAck\nSTOP\"\n");
    EXPECT_EQ(textentry(got),
              "2026-12-08 16:15:55.128857+00:00  +5.401 ms  < !0010sW90ap[cr]\n"
              "    START\n    WRITE\t0x90\tAck\n    STOP\n");
}

TEST_F(SessionLogTest, CsvQuotesWhatWouldBreakAField) {
    SessionLog log;
    LogEntry e = log.received("0010\"a,b", "line \"one\"\r\nGPPin?\t01010", wall, mono);
    EXPECT_EQ(csvrow(e),
              "2026-12-08T16:15:55.123456+00:00,0.000,received,\"!0010\"\"a,b[cr]\",\"line "
              "\"\"one\"\"\nGPPin?\t01010\"\n");
}

TEST_F(SessionLogTest, TheFileIsCsvByItsNameAndKeepsEveryEntryAsItComes) {
    const auto dir = std::filesystem::temp_directory_path() / ("sessionlog-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    SessionLog log;
    for (const char* name : {"run.csv", "run.CSV", "run.log"}) {
        LogFile file;
        ASSERT_TRUE(file.open((dir / name).string())) << file.error();
        file.write(log.sent("$0000\r", wall, mono));
        std::ifstream in(dir / name);  // written before the file is closed
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const bool csv = std::string(name) != "run.log";
        EXPECT_EQ(text.rfind(csv ? "time,since_previous_ms" : "2026-12-08 16:15:55", 0), 0u) << name << text;
        EXPECT_TRUE(file.close());
    }
    LogFile nowhere;
    EXPECT_FALSE(nowhere.open((dir / "missing" / "run.csv").string()));
    EXPECT_NE(nowhere.error().find("cannot write the log"), std::string::npos);
    EXPECT_NE(nowhere.error().find("No such file or directory"), std::string::npos);
    LogFile full;
    ASSERT_TRUE(full.open("/dev/full"));
    full.write(log.sent("$0000\r", wall, mono));
    EXPECT_FALSE(full.close());
    EXPECT_NE(full.error().find("No space left on device"), std::string::npos) << full.error();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace sarnel::bench
