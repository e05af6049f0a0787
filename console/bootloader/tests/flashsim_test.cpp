// A whole application image flashed into the simulated adapter and read back from its
// program memory, over a pseudo-terminal, with the adapter's own verdicts.
#include <com/apartment.h>
#include <gtest/gtest.h>
#include <sim/simulator.h>

#include <filesystem>
#include <fstream>

#include "alertlog_support.h"
#include "console/bootloader/bootloader.h"
#include "console/bootloader/textbootview.h"
#include "hexgen_support.h"
#include "ptycontrol_support.h"

using namespace sarnel::boot;

namespace {

class FlashSim : public ::testing::Test {
protected:
    void SetUp() override {
        com::initializeApartment();
        control.open(adapter.devicePath(), "115200,n,8,1");
        loader.setPortOpen(true);
    }
    void TearDown() override {
        control.close();
        com::serveApartment();
        com::uninitializeApartment();
        std::filesystem::remove_all(dir);
    }
    std::string save(const std::vector<std::string>& lines) {
        std::filesystem::create_directories(dir);
        const std::string path = (dir / "image.hex").string();
        std::ofstream out(path, std::ios::binary);
        for (const std::string& l : lines) out << l << "\n";
        return path + "\xFF" + dir.string() + "\xFF" + "image.hex";
    }

    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("boot-sim-" + std::to_string(::getpid()));
    sim::Adapter adapter{[] {
        sim::Options o;
        o.flashTimePerLine = std::chrono::microseconds(0);
        return o;
    }()};
    boottest::AlertLog alerts;
    boottest::PtyControl control;
    TextBootView view;
    BootLoader loader{control, view};
};

TEST_F(FlashSim, AppWriteFlashesAWholeImageThatReadsBack) {
    const boottest::HexImage image = boottest::makeimage(2000, sim::programMemorySize, 3);
    ASSERT_GE(image.lines.size(), 2000u);
    loader.write(save(image.lines), true);

    EXPECT_EQ(view.errorList(), "");
    EXPECT_EQ(view.text(Field::dataerrors), "0");
    EXPECT_EQ(view.text(Field::blockswritten), std::to_string(image.dataLines));
    EXPECT_EQ(view.text(Field::highrompointers), std::to_string(image.extendedLines));
    EXPECT_EQ(view.text(Field::highromblocks), std::to_string(image.highLines));
    EXPECT_EQ(view.text(Field::commentlines), std::to_string(image.commentLines));
    EXPECT_EQ(view.text(Field::eofrecords), "1");
    EXPECT_NE(view.text(Field::programtime), "---");
    EXPECT_EQ(adapter.programMemory(), image.memory);
    // Entry, erase and every line up to the end record; the three after it stay unsent.
    EXPECT_EQ(adapter.framesReceived().size(), 2 + image.lines.size() - 3);
}

TEST_F(FlashSim, RejectedLinesCarryTheAdaptersVerdicts) {
    adapter.enterBootloader();
    std::vector<std::string> lines = {
        boottest::hexrecord(0, 0, {1, 2, 3, 4}),
        ":0400000001020304F3",  // checksum
        ":04000000010203",      // short
        "hello",                // not a record
        boottest::hexrecord(0x4000, 0, {9}),
        ":00000001FF",
    };
    loader.write(save(lines), false);
    EXPECT_EQ(view.text(Field::dataerrors), "3");
    EXPECT_EQ(view.text(Field::blockswritten), "2");
    EXPECT_EQ(view.text(Field::eofrecords), "1");
    const std::string log = view.errorList();
    EXPECT_EQ(log.substr(0, 4), "03  ");
    EXPECT_NE(log.find("$hello[cr]"), std::string::npos);
    EXPECT_NE(log.find("02  "), std::string::npos);
    EXPECT_NE(log.find("01  s  ':nn' Checksum mismatch, frame rejected"), std::string::npos);
    EXPECT_EQ(adapter.programMemory()[0x4000], 9);

    view.setRunWithErrors(false);
    loader.write(save(lines), false);
    EXPECT_EQ(view.text(Field::dataerrors), "1");
    EXPECT_EQ(view.text(Field::programtime), "---");
    EXPECT_EQ(view.text(Field::eofrecords), "0");
}

TEST_F(FlashSim, ASilentAdapterTimesOutTheLine) {
    adapter.enterBootloader();
    adapter.setFault(sim::Fault::Silence);
    view.setShowProgress(false);
    loader.bootload(save({":00000001FF"}));
    EXPECT_EQ(view.errorList(), "01  -  Timeout waiting for serial response\r\n");
}

}  // namespace
