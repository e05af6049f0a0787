#include "console/shell/settingsfile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
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
    // The file is named, wherever it lives.
    EXPECT_NE(alerts.alerts[0].message.find(std::string(kSettingsAlertMessage) + "\r\n\r\nSettings file: " +
                                            missing + " (No such file or directory)"),
              std::string::npos)
        << alerts.alerts[0].message;
    EXPECT_EQ(lines[1], "untouched");
}

// The old file's text: 100 lines, longer than the size limit below.
std::string oldSettings() {
    std::string text;
    for (int i = 1; i <= 100; ++i) text += "old setting " + std::to_string(i) + "\r\n";
    return text;
}

// Runs `save` in a child process under a file-size limit of `limit` bytes (SIGXFSZ ignored,
// so the write fails with EFBIG instead of ending the process), as the user `uid` when not
// -1. The child's exit status: 0 when the save failed and said so with the alert.
int saveUnderLimit(rlim_t limit, uid_t uid, const std::function<bool()>& save) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit r{limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &r) != 0) ::_exit(3);
        if (uid != static_cast<uid_t>(-1) && ::setuid(uid) != 0) ::_exit(4);
        AlertRecorder recorded;
        const bool saved = save();
        ::_exit(!saved && recorded.alerts.size() == 1 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST_F(SettingsFile, AFailedSaveLeavesTheOldFileWhole) {
    spit(path, oldSettings());
    for (int i = 1; i <= 100; ++i) lines[static_cast<std::size_t>(i)] = "new setting " + std::to_string(i);
    EXPECT_EQ(saveUnderLimit(300, static_cast<uid_t>(-1), [&] { return settingsfile("save", path, lines); }),
              0);
    EXPECT_EQ(slurp(path), oldSettings());
    // Nothing is left behind beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    // Without the limit the same save succeeds.
    EXPECT_TRUE(settingsfile("save", path, lines));
    EXPECT_EQ(slurp(path).rfind("new setting 1\r\n", 0), 0u);
}

TEST_F(SettingsFile, AFolderThatTakesNoNewFileIsWrittenInPlaceAndStillNotDestroyed) {
    // A user who may write the file but not its folder: the file is rewritten in place.
    spit(path, oldSettings());
    const uid_t user = ::geteuid() == 0 ? 65534 : static_cast<uid_t>(-1);  // root ignores permissions
    if (user != static_cast<uid_t>(-1)) {
        ASSERT_EQ(::chown(dir.c_str(), user, user), 0);
        ASSERT_EQ(::chown(path.c_str(), user, user), 0);
    }
    ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
    for (int i = 1; i <= 100; ++i) lines[static_cast<std::size_t>(i)] = "new setting " + std::to_string(i);
    EXPECT_EQ(saveUnderLimit(300, user, [&] { return settingsfile("save", path, lines); }), 0);
    EXPECT_EQ(slurp(path), oldSettings());
    // Under no limit it succeeds in place (the child's status 1: saved, no alert).
    EXPECT_EQ(saveUnderLimit(RLIM_INFINITY, user, [&] { return settingsfile("save", path, lines); }), 1);
    EXPECT_EQ(slurp(path).rfind("new setting 1\r\n", 0), 0u);
    ::chmod(dir.c_str(), 0755);
}

TEST_F(SettingsFile, ASymbolicLinkIsWrittenThrough) {
    fs::create_directories(dir / "real");
    const fs::path target = dir / "real" / "settings.ini";
    spit(target, "old\r\n");
    ::chmod(target.c_str(), 0440);
    fs::create_symlink("real/settings.ini", dir / "link.ini");
    lines[1] = "new";
    EXPECT_TRUE(settingsfile("save", (dir / "link.ini").string(), lines));
    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    EXPECT_EQ(slurp(target).rfind("new\r\n", 0), 0u);
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "read-only made writable, the rest kept";
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), fs::directory_iterator()), 1);

    // A link to a file not made yet: the first load creates the target.
    fs::create_symlink(dir / "real" / "later.ini", dir / "later.ini");
    SettingsLines fresh;
    EXPECT_TRUE(settingsfile("load", (dir / "later.ini").string(), fresh));
    EXPECT_EQ(slurp(dir / "real" / "later.ini"), " \r\n \r\n");
    EXPECT_TRUE(fs::is_symlink(dir / "later.ini"));
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(SettingsFile, OnlyARegularFileIsReadOrReplaced) {
    const fs::path fifo = dir / "pipe.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directories(dir / "folder.ini");
    for (const std::string& name : {fifo.string(), (dir / "folder.ini").string(), std::string("/dev/null")}) {
        for (const char* mode : {"load", "save"}) {
            alerts.alerts.clear();
            // A load that blocked in open would never return: it is given two seconds, and a
            // writer then sets it free so that the test can fail instead of hanging.
            auto done = std::async(std::launch::async, [&] { return settingsfile(mode, name, lines); });
            if (done.wait_for(std::chrono::seconds(2)) != std::future_status::ready) {
                ADD_FAILURE() << mode << " " << name << " blocked";
                ::close(::open(fifo.c_str(), O_RDWR | O_NONBLOCK));
            }
            EXPECT_FALSE(done.get()) << mode << " " << name;
            ASSERT_EQ(alerts.alerts.size(), 1u) << mode << " " << name;
            EXPECT_EQ(alerts.alerts[0].caption, "Ini file load/save error");
            EXPECT_NE(alerts.alerts[0].message.find("Settings file: " + name + " (not a regular file)"),
                      std::string::npos)
                << alerts.alerts[0].message;
        }
    }
    EXPECT_TRUE(fs::is_fifo(fifo)) << "a save does not put a file in the pipe's place";
    EXPECT_TRUE(fs::is_directory(dir / "folder.ini"));
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
