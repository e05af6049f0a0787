#include "console/shell/settingsfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "console/base/tests/alertrecorder.h"
#include "console/shell/basicutilities.h"

namespace sarnel {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void spit(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("settings-test-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        path = (dir / "sarnel.ini").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    AlertRecorder alerts;
    fs::path dir;
    std::string path;
    SettingsLines lines;
};

TEST_F(SettingsFile, FirstStartCreatesTwoLinesOfOneSpace) {
    EXPECT_TRUE(settingsfile("load", path, lines));
    EXPECT_EQ(slurp(path), " \r\n \r\n");
    EXPECT_EQ(lines[1], " ");
    EXPECT_EQ(lines[2], " ");
    EXPECT_EQ(lines[3], "");
    // An empty file is treated the same way.
    spit(path, "");
    SettingsLines again;
    EXPECT_TRUE(settingsfile("LOAD", path, again));
    EXPECT_EQ(again[1], " ");
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(SettingsFile, SaveWritesExactlyOneHundredLines) {
    lines[1] = "/home/me/scripts/";
    lines[2] = "/home/me/hex/";
    lines[57] = "kept";
    EXPECT_TRUE(settingsfile("Save", path, lines));
    std::string expected = "/home/me/scripts/\r\n/home/me/hex/\r\n";
    for (int i = 3; i <= 100; ++i) expected += (i == 57 ? "kept" : "") + std::string("\r\n");
    EXPECT_EQ(slurp(path), expected);

    SettingsLines back;
    EXPECT_TRUE(settingsfile("load", path, back));
    EXPECT_EQ(back, lines);
}

TEST_F(SettingsFile, LinesBreakAtCrLfCrOrLfAndStopAtOneHundred) {
    std::string text = "a\r\nb\rc\nd";
    for (int i = 0; i < 120; ++i) text += "\r\nextra" + std::to_string(i);
    spit(path, text);
    EXPECT_TRUE(settingsfile("load", path, lines));
    EXPECT_EQ(lines[1], "a");
    EXPECT_EQ(lines[2], "b");
    EXPECT_EQ(lines[3], "c");
    EXPECT_EQ(lines[4], "d");
    EXPECT_EQ(lines[100], "extra95");
    // The rest is lost at the next save.
    EXPECT_TRUE(settingsfile("save", path, lines));
    EXPECT_EQ(slurp(path).find("extra96"), std::string::npos);
}

TEST_F(SettingsFile, AShortFileLeavesTheOtherLinesAlone) {
    spit(path, "only\r\n");
    lines[2] = "before";
    EXPECT_TRUE(settingsfile("load", path, lines));
    EXPECT_EQ(lines[1], "only");
    EXPECT_EQ(lines[2], "before");
}

TEST_F(SettingsFile, AReadOnlyFileIsMadeWritableAndOverwritten) {
    spit(path, "old\r\n");
    ::chmod(path.c_str(), 0444);
    lines[1] = "new";
    EXPECT_TRUE(settingsfile("save", path, lines));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u);
    EXPECT_EQ(slurp(path).rfind("new\r\n", 0), 0u);
}

TEST_F(SettingsFile, FailuresShowTheIniAlert) {
    const std::string missing = (dir / "no-such-folder" / "sarnel.ini").string();
    lines[1] = "untouched";
    EXPECT_FALSE(settingsfile("save", missing, lines));
    EXPECT_FALSE(settingsfile("load", missing, lines));
    ASSERT_EQ(alerts.alerts.size(), 2u);
    EXPECT_EQ(alerts.alerts[0].caption, "Ini file load/save error");
    EXPECT_EQ(alerts.alerts[0].fontSize, 12);
    EXPECT_EQ(alerts.alerts[0].message.rfind("Error Code: 0x0000004C\r\n\r\n", 0), 0u)
        << alerts.alerts[0].message;
    EXPECT_NE(alerts.alerts[0].message.find(kSettingsAlertMessage), std::string::npos);
    EXPECT_EQ(lines[1], "untouched");
}

TEST_F(SettingsFile, OtherModesDoNothing) {
    EXPECT_TRUE(settingsfile("delete", path, lines));
    EXPECT_FALSE(fs::exists(path));
}

TEST(FileErrorNumber, MapsSystemErrors) {
    EXPECT_EQ(fileerrornumber(EACCES), 70);
    EXPECT_EQ(fileerrornumber(EROFS), 70);
    EXPECT_EQ(fileerrornumber(ENOENT), 76);
    EXPECT_EQ(fileerrornumber(ENOSPC), 75);
}

TEST(SettingsPath, BesideTheProgramOrInTheUserFolder) {
    const fs::path dir = fs::temp_directory_path() / ("settingspath-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    EXPECT_EQ(settingspath(dir.string(), "sarnel"), (dir / "sarnel.ini").string());

    const char* old = std::getenv("XDG_CONFIG_HOME");
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    fs::create_directories(dir / "config");
    // A program folder that cannot be written (here: one that does not exist).
    EXPECT_EQ(settingspath("/nonexistent/bin", "sarnel"),
              (dir / "config" / "sarnel" / "sarnel.ini").string());
    EXPECT_TRUE(fs::is_directory(dir / "config" / "sarnel"));
    if (old)
        ::setenv("XDG_CONFIG_HOME", old, 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(dir);
}

TEST(SettingsPath, AnInstalledProgramKeepsItsSettingsOutOfItsFolder) {
    // <prefix>/bin beside <prefix>/share/sarnel, both writable (as /usr/bin is for root).
    const fs::path prefix = fs::temp_directory_path() / ("settingsinstalled-" + std::to_string(::getpid()));
    fs::remove_all(prefix);
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "share" / "sarnel");
    spit(prefix / "share" / "sarnel" / "helpfile.rtf", "{\\rtf1}");
    const char* old = std::getenv("XDG_CONFIG_HOME");
    ::setenv("XDG_CONFIG_HOME", (prefix / "config").c_str(), 1);

    EXPECT_EQ(settingspath((prefix / "bin").string(), "sarnel"),
              (prefix / "config" / "sarnel" / "sarnel.ini").string());
    // A settings file that is there already stays in use.
    spit(prefix / "bin" / "sarnel.ini", "");
    EXPECT_EQ(settingspath((prefix / "bin").string(), "sarnel"), (prefix / "bin" / "sarnel.ini").string());
    fs::remove(prefix / "bin" / "sarnel.ini");
    // A build folder has its help documents beside the program and keeps its settings there.
    spit(prefix / "bin" / "helpfile.rtf", "{\\rtf1}");
    EXPECT_EQ(settingspath((prefix / "bin").string(), "sarnel"), (prefix / "bin" / "sarnel.ini").string());

    if (old)
        ::setenv("XDG_CONFIG_HOME", old, 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(prefix);
}

TEST(FileExists, OnlyOrdinaryFiles) {
    const fs::path file = fs::temp_directory_path() / ("fileexists-" + std::to_string(::getpid()) + ".txt");
    spit(file, "x");
    struct Row {
        std::string path;
        bool exists;
    } rows[] = {
        {file.string(), true},
        {"", false},
        {fs::temp_directory_path().string(), false},  // a folder
        {fs::temp_directory_path().string() + "/", false},
        {file.string() + " ", false},
        {file.string() + ".", false},
        {"C:\\path\\", false},
        {file.string() + "-missing", false},
    };
    for (const Row& r : rows) EXPECT_EQ(fileexists(r.path), r.exists) << r.path;
    fs::remove(file);
}

TEST(ProgramFolder, IsTheTestsOwn) {
    const std::string folder = apppath();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '/');
    EXPECT_TRUE(fileexists(folder + "/" + appname()));
    EXPECT_EQ(appname(), "settingsfile_test");
}

}  // namespace
}  // namespace sarnel
