// The session log in memory: its limit and the note of what was dropped, and saving it whole
// or not at all.
#include "console/bench/logbook.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace sarnel::bench {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Folder {
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "logbook-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder() { fs::remove_all(path); }
    fs::path path;
};

TEST(LogBook, KeepsTheLatestEntriesAndSaysHowManyWentFirst) {
    LogBook book(3);
    book.sent("$00100500019004\r");
    book.received("0010sW90a", "START\r\nWRITE\t0x90\tAck\r\n");
    EXPECT_FALSE(book.note());
    for (int i = 0; i < 3; ++i) book.sent("$0019\r");
    ASSERT_EQ(book.size(), 3u);
    EXPECT_EQ(book.dropped(), 2u);
    EXPECT_EQ(book.firstnumber(), 2u);
    EXPECT_EQ(book.endnumber(), 5u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(book.at(i).raw, "$0019[cr]");
    ASSERT_TRUE(book.note());
    EXPECT_EQ(book.note()->raw, "2 older entries were dropped (the log keeps the latest 3)");
    EXPECT_EQ(book.note()->direction, Direction::Note);

    // The note leads both saved forms; the entries keep theirs.
    const std::string csv = book.csv();
    EXPECT_EQ(csv.substr(0, csvheader().size()), csvheader());
    const std::string firstRow =
        csv.substr(csvheader().size(), csv.find('\n', csvheader().size()) - csvheader().size());
    EXPECT_NE(firstRow.find(",note,2 older entries were dropped (the log keeps the latest 3),"),
              std::string::npos)
        << firstRow;
    EXPECT_NE(book.text().find("  * 2 older entries"), std::string::npos) << book.text();

    book.clear();
    EXPECT_EQ(book.size(), 0u);
    EXPECT_FALSE(book.note());
    EXPECT_EQ(book.firstnumber(), book.endnumber());
    book.sent("$0019\r");
    EXPECT_EQ(book.at(0).sincePrevious.count(), 0);  // timed as a first entry again
}

TEST(LogBook, GroupsDigitsInItsNote) {
    EXPECT_EQ(groupdigits(0), "0");
    EXPECT_EQ(groupdigits(999), "999");
    EXPECT_EQ(groupdigits(1000), "1,000");
    EXPECT_EQ(groupdigits(1000000), "1,000,000");
    LogBook book(1);
    book.sent("a\r");
    book.sent("b\r");
    EXPECT_EQ(book.note()->raw, "1 older entry was dropped (the log keeps the latest 1)");
}

TEST(LogBook, SavesAsCsvOrTextByTheName) {
    Folder folder;
    LogBook book;
    book.sent("$00100500019004\r");
    book.received("0010sW90a", "START\r\nWRITE\t0x90\tAck\r\n");
    std::string error;
    const fs::path csv = folder.path / "run.CSV";
    ASSERT_TRUE(book.save(csv.string(), error)) << error;
    EXPECT_EQ(slurp(csv), book.csv());
    EXPECT_NE(slurp(csv).find(",received,!0010sW90a[cr],\"START\nWRITE\t0x90\tAck\"\n"), std::string::npos);
    const fs::path text = folder.path / "run.log";
    ASSERT_TRUE(book.save(text.string(), error)) << error;
    EXPECT_EQ(slurp(text), book.text());
    // An ordinary file, not the private one the temporary file began as.
    struct stat st {};
    ASSERT_EQ(::stat(text.c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    // Nothing else is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path), fs::directory_iterator()), 2);
}

TEST(LogBook, AFailedSaveSaysWhyAndLeavesWhatWasThereWhole) {
    Folder folder;
    LogBook book;
    book.sent("$0019\r");
    std::string error;
    // A folder in the way: the new file is written but cannot take its place.
    const fs::path taken = folder.path / "run.csv";
    fs::create_directory(taken);
    std::ofstream(taken / "keep") << "old";
    EXPECT_FALSE(book.save(taken.string(), error));
    EXPECT_EQ(error.rfind("cannot save '" + taken.string() + "': ", 0), 0u) << error;
    EXPECT_EQ(slurp(taken / "keep"), "old");
    // Nothing is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path), fs::directory_iterator()), 1);

    EXPECT_FALSE(book.save((folder.path / "missing" / "run.csv").string(), error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

}  // namespace
}  // namespace sarnel::bench
