#include "console/base/filedialog.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "console/base/alert.h"
#include "console/base/consoleerror.h"

namespace sarnel {
namespace {

const std::string S(1, kFileFieldSeparator);

struct ScriptedDialog : FileDialogPresenter {
    FileDialogAnswer answer;
    std::optional<ConsoleError> failure;
    std::vector<FileDialogRequest> requests;
    FileDialogAnswer present(const FileDialogRequest& request) override {
        requests.push_back(request);
        if (failure) throw *failure;
        return answer;
    }
};

struct RecordingAlerts : AlertPresenter {
    std::vector<AlertRequest> shown;
    std::int16_t present(const AlertRequest& request) override {
        shown.push_back(request);
        return -1;
    }
};

class FileOpenDialog : public ::testing::Test {
protected:
    void SetUp() override {
        setFileDialogPresenter(&dialog);
        setAlertPresenter(&alerts);
    }
    void TearDown() override {
        setFileDialogPresenter(nullptr);
        setAlertPresenter(nullptr);
    }
    std::string open(std::string& name, std::string filter = "Hex files,*.hex", std::int16_t multi = 0) {
        return fileopendialog("Select Hex file to load", name, "/fw", filter, multi);
    }
    ScriptedDialog dialog;
    RecordingAlerts alerts;
};

TEST(DialogFilter, DescriptionsBecomeFilterTexts) {
    struct Case {
        std::string description, filter, descriptionAfter;
    } cases[] = {
        {"", "Text Files(*.txt)|*.txt|All Files(*.*)|*.*", "1"},
        {"0", "Text Files(*.txt)|*.txt|All Files(*.*)|*.*", "1"},
        {"1", "Text Files(*.txt)|*.txt|All Files(*.*)|*.*", "1"},
        {"2", "Text Files(*.txt)|*.txt", "2"},
        {"2.0", "Text Files(*.txt)|*.txt", "2.0"},
        {"2.5", "Text Files(*.txt)|*.txt|All Files(*.*)|*.*", "2.5"},
        {"7", "Text Files(*.txt)|*.txt|All Files(*.*)|*.*", "7"},
        {"Hex files,*.hex", "Hex files(*.hex)|*.hex", "Hex files,*.hex"},
        {"Text files,*.txt", "Text files(*.txt)|*.txt", "Text files,*.txt"},
        {"Hex,*.hex,All,*.*", "Hex(*.hex)|*.hex|All(*.*)|*.*", "Hex,*.hex,All,*.*"},
        {"00", "00()|", "00"},  // only the exact text "0" means the default
        {"Scripts", "Scripts()|", "Scripts"},
    };
    for (Case& c : cases) {
        std::string description = c.description;
        EXPECT_EQ(dialogfilter(description), c.filter) << "description '" << c.description << "'";
        EXPECT_EQ(description, c.descriptionAfter);
    }
}

TEST(DialogFilter, QtFormListsPatternsInBrackets) {
    struct Case {
        std::string text, qt;
    } cases[] = {
        {"Hex files(*.hex)|*.hex", "Hex files (*.hex)"},
        {"Text Files(*.txt)|*.txt|All Files(*.*)|*.*", "Text Files (*.txt);;All Files (*)"},
        {"Scripts(*.txt;*.scr)|*.txt;*.scr", "Scripts (*.txt *.scr)"},
        {"Plain|*.log", "Plain (*.log)"},
        {"Scripts()|", "Scripts (*)"},
    };
    for (const Case& c : cases) EXPECT_EQ(qtfilter(c.text), c.qt) << c.text;
}

TEST_F(FileOpenDialog, SingleChoiceGivesPathFolderAndName) {
    dialog.answer = FileDialogAnswer::chosen({"/fw/app.hex"});
    std::string name;
    EXPECT_EQ(open(name), "/fw/app.hex" + S + "/fw" + S + "app.hex");
    ASSERT_EQ(dialog.requests.size(), 1u);
    const FileDialogRequest& request = dialog.requests[0];
    EXPECT_EQ(request.title, "Select Hex file to load");
    EXPECT_EQ(request.folder, "/fw");
    EXPECT_EQ(request.filter, "Hex files(*.hex)|*.hex");
    EXPECT_FALSE(request.multiSelect);
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(FileOpenDialog, FileAtTheRootHasAnEmptyFolder) {
    dialog.answer = FileDialogAnswer::chosen({"/app.hex"});
    std::string name;
    EXPECT_EQ(open(name), "/app.hex" + S + S + "app.hex");
}

TEST_F(FileOpenDialog, MultipleChoiceListsFolderThenNames) {
    std::string name;
    dialog.answer = FileDialogAnswer::chosen({"/fw/a.hex", "/fw/b.hex", "/fw/c.hex"});
    EXPECT_EQ(open(name, "Hex files,*.hex", -1), "/fw" + S + "a.hex" + S + "b.hex" + S + "c.hex");
    EXPECT_TRUE(dialog.requests.back().multiSelect);

    dialog.answer = FileDialogAnswer::chosen({"/fw/one.hex"});
    EXPECT_EQ(open(name, "Hex files,*.hex", -1), "/fw" + S + "one.hex");

    dialog.answer = FileDialogAnswer::chosen({"/fw/a.hex", "/other/b.hex"});
    EXPECT_EQ(open(name, "Hex files,*.hex", -1), "/fw" + S + "a.hex" + S + "/other/b.hex");
}

TEST_F(FileOpenDialog, CancelEmptiesTheDefaultNameAndReportsNothing) {
    std::string name = "app.hex";
    dialog.answer = FileDialogAnswer::cancel();
    EXPECT_EQ(open(name), "");
    EXPECT_EQ(name, "");
    EXPECT_EQ(dialog.requests.back().defaultName, "app.hex");

    name = "app.hex";
    dialog.failure = ConsoleError(kDialogCancelled, "Cancel was selected.");
    EXPECT_EQ(open(name), "");
    EXPECT_EQ(name, "");
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(FileOpenDialog, FailureAlertsAndReturnsNothing) {
    std::string name = "app.hex";
    dialog.failure = ConsoleError(76, "Path not found");
    EXPECT_EQ(open(name), "");
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].caption, "File open error");
    const std::string& message = alerts.shown[0].message;
    EXPECT_EQ(message.rfind("Error Code: 0x", 0), 0u) << message;
    EXPECT_NE(message.find("4C"), std::string::npos) << message;
    EXPECT_EQ(runTimeError().number, 76);
}

TEST_F(FileOpenDialog, FilterDescriptionIsDefaultedInTheCallersVariable) {
    dialog.answer = FileDialogAnswer::cancel();
    std::string name, filter;
    fileopendialog("t", name, "", filter, 0);
    EXPECT_EQ(filter, "1");
    EXPECT_EQ(dialog.requests.back().filter, "Text Files(*.txt)|*.txt|All Files(*.*)|*.*");
}

TEST(FileOpenDialogWithoutPresenter, CountsAsCancelled) {
    setFileDialogPresenter(nullptr);
    std::string name = "x", filter = "2";
    EXPECT_EQ(fileopendialog("t", name, "/", filter, 0), "");
    EXPECT_EQ(name, "");
}

}  // namespace
}  // namespace sarnel
