// The bootloader protocol against a scripted adapter: entry, erase, streaming, the counters,
// the log, the stop rule, Cancel, and the failure paths of the serial control.
#include <com/apartment.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

#include "alertlog_support.h"
#include "console/bootloader/bootloader.h"
#include "console/bootloader/textbootview.h"
#include "fakecontrol_support.h"

using namespace sarnel::boot;
using boottest::reply;

namespace {

class Protocol : public ::testing::Test {
protected:
    void SetUp() override {
        com::initializeApartment();
        loader.setPortOpen(true);
    }
    void TearDown() override {
        com::serveApartment();
        com::uninitializeApartment();
        std::filesystem::remove_all(dir);
    }

    // Writes a HEX file and returns the file dialog's result text for it.
    std::string hexfile(const std::vector<std::string>& lines) {
        std::filesystem::create_directories(dir);
        const std::string path = (dir / "app.hex").string();
        std::ofstream out(path, std::ios::binary);
        for (const std::string& l : lines) out << l << "\r\n";
        return path + "\xFF" + dir.string() + "\xFF" + "app.hex";
    }

    // Answers each streamed line by the verdict the map gives its text ("Ba" by default) and
    // entry and erase as the bootloader does.
    void bootloaderAnswers(std::map<std::string, std::string> verdicts = {}) {
        control.respond([verdicts](const std::string& frame) -> std::string {
            if (frame == "$00FF5A3C\r") return reply("Bb");
            if (frame == "$E\r") return reply("Be");
            const std::string line = frame.substr(1, frame.size() - 2);
            auto it = verdicts.find(line);
            return reply(it == verdicts.end() ? "Ba" : it->second);
        });
    }

    std::size_t streamedLines() const {
        std::size_t n = 0;
        for (const std::string& f : control.frames)
            if (f != "$00FF5A3C\r" && f != "$E\r") ++n;
        return n;
    }

    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("boot-proto-" + std::to_string(::getpid()));
    boottest::AlertLog alerts;
    boottest::FakeControl control;
    TextBootView view;
    BootLoader loader{control, view};
};

TEST_F(Protocol, EntryIgnoresOtherRepliesUntilTheBootloaderAnnouncesItself) {
    control.respond([this](const std::string&) {
        control.arrive(reply("0000022603"));
        control.during([this] { control.arrive(reply("Bw")); });
        return reply("Bb");
    });
    EXPECT_TRUE(loader.appentry());
    ASSERT_EQ(control.frames, std::vector<std::string>{"$00FF5A3C\r"});
    EXPECT_EQ(control.timeouts[0], 1000);
    EXPECT_EQ(view.text(Field::txbufferbox), "$00FF5A3C[cr]");
    EXPECT_EQ(view.text(Field::dataerrors), "0");
    EXPECT_EQ(view.errorList(), "");
}

TEST_F(Protocol, EraseFailsQuietlyOnAWrongReply) {
    control.respond([](const std::string&) { return reply("Bw"); });
    EXPECT_FALSE(loader.booterase());
    EXPECT_EQ(control.frames, std::vector<std::string>{"$E\r"});
    EXPECT_EQ(view.errorList(), "");
    EXPECT_EQ(view.text(Field::dataerrors), "0");
    EXPECT_EQ(loader.latestReply(), "");
}

TEST_F(Protocol, SilenceTimesOutEachStepWithItsOwnMessage) {
    using clock = std::chrono::steady_clock;
    const auto t0 = clock::now();
    EXPECT_FALSE(loader.appentry());
    const double entry = std::chrono::duration<double>(clock::now() - t0).count();
    EXPECT_GE(entry, 5.0);
    EXPECT_LT(entry, 5.5);
    EXPECT_EQ(view.errorList(), kEntryTimeout);
    EXPECT_EQ(view.text(Field::dataerrors), "1");

    const auto t1 = clock::now();
    EXPECT_FALSE(loader.booterase());
    EXPECT_GE(std::chrono::duration<double>(clock::now() - t1).count(), 5.0);
    EXPECT_EQ(view.errorList(), kEraseTimeout);
    EXPECT_EQ(view.text(Field::dataerrors), "2");
    EXPECT_EQ(view.beeps(), 2);

    loader.clearstats();
    const auto t2 = clock::now();
    loader.bootload(hexfile({":00000001FF", ":00000001FF"}));
    const double line = std::chrono::duration<double>(clock::now() - t2).count();
    EXPECT_GE(line, 0.5);
    EXPECT_LT(line, 0.9);
    EXPECT_EQ(streamedLines(), 1u) << "the run ends at the first silent line";
    EXPECT_EQ(view.errorList(), "01  -  Timeout waiting for serial response\r\n");
    EXPECT_NE(view.text(Field::programtime), "---");
}

TEST_F(Protocol, CancelDuringEntryOrEraseIsAUserAbort) {
    for (bool erase : {false, true}) {
        SCOPED_TRACE(erase ? "erase" : "entry");
        loader.clearstats();
        control.respond([this](const std::string&) {
            control.during([this] { loader.abort(); });
            return std::string();
        });
        EXPECT_FALSE(erase ? loader.booterase() : loader.appentry());
        EXPECT_EQ(view.errorList(), kUserAbort);
        EXPECT_EQ(view.text(Field::dataerrors), "1");
        EXPECT_TRUE(loader.aborted());
    }
    loader.clearstats();
    EXPECT_FALSE(loader.aborted());
}

TEST_F(Protocol, AppWriteRunsEntryEraseAndEveryLineUntilTheEndRecord) {
    bootloaderAnswers({{":020000040000FA", "Bx"},
                       {":02000004003000CA", "Bx"},
                       {":0100000012ED", "Bh"},
                       {";comment", "Bi"},
                       {"", "Bi"},
                       {":00000001FF", "Bc"}});
    const std::string spec = hexfile({":020000040000FA", ":10000000000102030405060708090A0B0C0D0E0F78",
                                      ";comment", "", ":02000004003000CA", ":0100000012ED", ":00000001FF",
                                      ":10001000000102030405060708090A0B0C0D0E0F68"});
    loader.write(spec, true);
    EXPECT_EQ(control.frames.front(), "$00FF5A3C\r");
    EXPECT_EQ(control.frames[1], "$E\r");
    EXPECT_EQ(streamedLines(), 7u) << "the line after the end record is not sent";
    EXPECT_EQ(control.frames[4], "$;comment\r");
    EXPECT_EQ(control.frames[5], "$\r");
    EXPECT_EQ(view.text(Field::blockswritten), "1");
    EXPECT_EQ(view.text(Field::highrompointers), "2");
    EXPECT_EQ(view.text(Field::highromblocks), "1");
    EXPECT_EQ(view.text(Field::commentlines), "2");
    EXPECT_EQ(view.text(Field::eofrecords), "1");
    EXPECT_EQ(view.text(Field::dataerrors), "0");
    EXPECT_EQ(view.text(Field::codefilename), (dir / "app.hex").string());
    EXPECT_EQ(view.text(Field::responsecode), "c");
    EXPECT_EQ(view.responseColour(), kBlue);
    EXPECT_EQ(view.text(Field::rxbufferbox), "!Bc[cr]");
    EXPECT_NE(view.text(Field::programtime), "---");
    EXPECT_DOUBLE_EQ(view.progress(), 7 * 100.0 / 8) << "the bar stops at the last line sent, unrounded";
}

TEST_F(Protocol, BootWriteWithoutAnEndRecordSendsAllLinesAndShowsTheTime) {
    bootloaderAnswers();
    loader.write(hexfile({":0400000001020304F2", ":0400040005060708DE", ":0400080009000102E8"}), false);
    EXPECT_EQ(control.frames.front(), "$E\r");
    EXPECT_EQ(streamedLines(), 3u);
    EXPECT_EQ(view.text(Field::eofrecords), "0");
    EXPECT_EQ(view.text(Field::blockswritten), "3");
    EXPECT_DOUBLE_EQ(view.progress(), 100.0);
    EXPECT_EQ(view.text(Field::programtime).find('.'), view.text(Field::programtime).size() - 4);
}

TEST_F(Protocol, RejectedLinesAreLoggedAndTheRunGoesOnWithRunWithErrors) {
    bootloaderAnswers({{"bad1", "Bs"}, {"bad2", "Bf"}, {"late", "Bb"}});
    loader.write(hexfile({"good", "bad1", "good", "bad2", "late", "good"}), false);
    EXPECT_EQ(streamedLines(), 6u);
    EXPECT_EQ(view.text(Field::dataerrors), "3");
    EXPECT_EQ(view.text(Field::blockswritten), "3");
    const std::string log = view.errorList();
    EXPECT_EQ(log, rejectedline(3, "b", "Bootloader entry from reset", "$late[cr]") + "\r\n" +
                       rejectedline(2, "f", "'X---' Not command or hex data, frame rejected", "$bad2[cr]") +
                       "\r\n" + rejectedline(1, "s", "':nn' Checksum mismatch, frame rejected", "$bad1[cr]") +
                       "\r\n");
    EXPECT_NE(view.text(Field::programtime), "---");
    EXPECT_EQ(view.beeps(), 0);
}

TEST_F(Protocol, WithoutRunWithErrorsTheFirstRejectionStopsTheRunAndLeavesTheTime) {
    view.setRunWithErrors(false);
    bootloaderAnswers({{"bad", "Bu"}});
    loader.write(hexfile({"good", "bad", "good", "good"}), false);
    EXPECT_EQ(streamedLines(), 2u);
    EXPECT_EQ(view.text(Field::dataerrors), "1");
    EXPECT_EQ(view.text(Field::programtime), "---");
    EXPECT_EQ(view.beeps(), 1);
    EXPECT_EQ(view.errorList().substr(0, 56),
              rejectedline(1, "u", "':nn' Data bytes received<nn, frame rejected", "").substr(0, 56));
}

TEST_F(Protocol, ErrorCountsFrom100OnShowTwoDigits) {
    bootloaderAnswers({{"bad", "Bz"}});
    std::vector<std::string> lines(123, "bad");
    loader.write(hexfile(lines), false);
    EXPECT_EQ(view.text(Field::dataerrors), "123");
    const std::string log = view.errorList();
    EXPECT_EQ(log.substr(0, 4), "23  ");
    const std::string hundred =
        rejectedline(100, "z", "':nn' No dd/cc bytes received, frame rejected", "$bad[cr]");
    EXPECT_EQ(hundred.substr(0, 4), "00  ");
    EXPECT_NE(log.find("\r\n" + hundred + "\r\n"), std::string::npos);
}

TEST_F(Protocol, WithoutShowProgressNothingIsShownAndLogLinesCarryTheOldTexts) {
    view.setShowProgress(false);
    bootloaderAnswers({{"bad", "Bs"}});
    loader.write(hexfile({"good", "bad", ":00000001FF"}), false);
    EXPECT_EQ(view.text(Field::responsecode), "-");
    EXPECT_EQ(view.text(Field::responsedecode), "---");
    EXPECT_EQ(view.text(Field::rxbufferbox), "");
    EXPECT_EQ(view.errorList(), rejectedline(1, "-", "---", "$bad[cr]") + "\r\n");
    EXPECT_EQ(view.text(Field::blockswritten), "2");
}

TEST_F(Protocol, TwoRepliesInOneEventAreTakenOnePerEventWithoutShowProgress) {
    view.setShowProgress(false);
    control.arrive(reply("Bw") + reply("Bi"));
    com::serveApartment();
    EXPECT_EQ(loader.latestReply(), "Bw");
    loader.onCharReceived();  // the next line feed event, with nothing new to read
    EXPECT_EQ(loader.latestReply(), "Bi");
    loader.onCharReceived();
    EXPECT_EQ(loader.latestReply(), "") << "an empty take is stored too";
}

TEST_F(Protocol, WithShowProgressEveryReplyIsDecodedAndTheLastIsLatest) {
    control.arrive(reply("Bs") + reply("000603") + "!Bx");
    com::serveApartment();
    EXPECT_EQ(loader.latestReply(), "000603");
    EXPECT_EQ(view.text(Field::responsecode), "06");
    EXPECT_EQ(view.text(Field::responsedecode), "App: Reset cause=03: WatchDog Timer");
    EXPECT_EQ(view.responseColour(), kYellow);
    EXPECT_EQ(view.text(Field::rxbufferbox), "!000603[cr]");
    EXPECT_EQ(loader.receiveBuffer(), "!Bx") << "the incomplete reply waits";
    loader.process(7, "");
    EXPECT_EQ(loader.receiveBuffer(), "!Bx") << "any other index does nothing";
}

TEST_F(Protocol, CancelWhileStreamingLogsTheInterruptAndStillCountsTheReply) {
    int sent = 0;
    control.respond([&](const std::string& frame) {
        if (frame == "$E\r") return reply("Be");
        if (++sent == 3) control.during([this] { loader.abort(); });
        return reply("Ba");
    });
    loader.write(hexfile({"a", "b", "c", "d", "e"}), false);
    EXPECT_EQ(streamedLines(), 3u);
    EXPECT_EQ(view.text(Field::blockswritten), "3");
    EXPECT_EQ(view.text(Field::dataerrors), "1");
    EXPECT_EQ(view.errorList(), "01  -  User interrupt\r\n");
    EXPECT_NE(view.text(Field::programtime), "---");
}

TEST_F(Protocol, ARefusedFileSendsNothing) {
    bootloaderAnswers();
    std::filesystem::create_directories(dir);
    std::ofstream((dir / "empty.hex").string());
    for (const std::string& path : {(dir / "empty.hex").string(), (dir / "none.hex").string()}) {
        SCOPED_TRACE(path);
        loader.write(path + "\xFF" + dir.string() + "\xFF" + "x", true);
        EXPECT_TRUE(control.frames.empty());
        EXPECT_EQ(view.text(Field::dataerrors), "1");
        EXPECT_EQ(view.errorList().substr(0, 7), "01  -  ");
        EXPECT_EQ(view.text(Field::programtime), "---");
    }
}

TEST_F(Protocol, CommandsWithoutAPortAreShownButNotSent) {
    loader.setPortOpen(false);
    view.setText(Field::rxbufferbox, "---");
    loader.comwrite("$0000\r", 10);
    EXPECT_TRUE(control.frames.empty());
    EXPECT_EQ(view.text(Field::txbufferbox), "$0000[cr]");
    EXPECT_EQ(view.text(Field::rxbufferbox), kNoPortText);
}

TEST_F(Protocol, ABreakIsClearedBeforeSending) {
    control.breakState = -1;
    loader.comwrite("$0006\r", 0);
    EXPECT_EQ(control.breakState, 0);
    control.breakState = 0;
    loader.comwrite("$0006\r", 0);
    EXPECT_EQ(control.breakWrites, 1) << "a clear Break is not written";
    EXPECT_EQ(control.frames.size(), 2u);
}

TEST_F(Protocol, AFailingWriteAlertsClosesThePortAndTheStepTimesOut) {
    control.failWrite = static_cast<std::int32_t>(0x8004020C);
    const auto t0 = std::chrono::steady_clock::now();
    loader.bootload(hexfile({"a", "b"}));
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 0.5);
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].caption, "ComWrite error");
    EXPECT_NE(alerts.alerts[0].message.find("8004020C"), std::string::npos);
    EXPECT_FALSE(loader.portOpen());
    EXPECT_EQ(control.closes, 1);
    EXPECT_EQ(view.portResets(), 1);
    EXPECT_EQ(view.errorList(), "01  -  Timeout waiting for serial response\r\n");
}

TEST_F(Protocol, AFailingReadAlertsAndSkipsProcess) {
    control.failRead = static_cast<std::int32_t>(0x80040211);
    view.setText(Field::rxbufferbox, "x");
    loader.onCharReceived();
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].caption, "Veskor error");
    EXPECT_FALSE(loader.portOpen());
    EXPECT_EQ(view.portResets(), 1);
    EXPECT_EQ(view.text(Field::rxbufferbox), "x");
}

// A view whose reply display fails, to reach process's error path.
class FailingView : public TextBootView {
public:
    void setText(Field field, const std::string& value) override {
        if (field == Field::responsedecode && value != "---") throw sarnel::ConsoleError(13, "Type mismatch");
        TextBootView::setText(field, value);
    }
};

TEST_F(Protocol, ADecodingFailureIsReportedWithIndexReplyAndBufferLength) {
    FailingView failing;
    boottest::FakeControl other;
    BootLoader l(other, failing);
    other.arrive(reply("Ba") + reply("Bi") + "!B");
    com::serveApartment();
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].caption, "Process error");
    EXPECT_EQ(alerts.alerts[0].message.substr(alerts.alerts[0].message.find("Index")),
              "Index:     255\r\nResponse: Ba\r\nBuffer:    8");
    EXPECT_EQ(l.latestReply(), "Ba");
    EXPECT_EQ(l.receiveBuffer(), "\n!Bi\r\n!B") << "later replies wait for the next event";
}

TEST_F(Protocol, ClearstatsPutsTheDesignTimeTextsBack) {
    for (Field f : {Field::blockswritten, Field::dataerrors, Field::eofrecords, Field::programtime,
                    Field::txbufferbox, Field::rxbufferbox, Field::responsecode})
        view.setText(f, "9");
    view.setErrorList("old");
    view.setResponseColour(kRed);
    loader.abort();
    loader.clearstats();
    EXPECT_EQ(view.text(Field::blockswritten), "0");
    EXPECT_EQ(view.text(Field::dataerrors), "0");
    EXPECT_EQ(view.text(Field::eofrecords), "0");
    EXPECT_EQ(view.text(Field::programtime), "---");
    EXPECT_EQ(view.text(Field::responsecode), "-");
    EXPECT_EQ(view.text(Field::responsedecode), "---");
    EXPECT_EQ(view.text(Field::txbufferbox), "");
    EXPECT_EQ(view.responseColour(), kWhite);
    EXPECT_EQ(view.errorList(), "");
    EXPECT_FALSE(loader.aborted());
}

}  // namespace
