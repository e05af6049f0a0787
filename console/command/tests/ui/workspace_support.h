// A stand-in for the main window around the workspace panel, with a scripted file dialog and
// an alert recorder, for the window tests.
#pragma once

#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "console/base/alert.h"
#include "console/base/filedialog.h"
#include "console/command/ui/workspacehost.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace sarnel::testing {

class TestHost : public QWidget, public WorkspaceHost {
public:
    TestHost();

    QPlainTextEdit* commandQueue() override { return commands; }
    QPushButton* cmmd(int index) override;
    QWidget* i2cparser() override;
    QWidget* txbufferbox() override;
    QWidget* tokencount() override;
    std::string scriptFolder() override { return folder; }
    void setScriptFolder(const std::string& value) override { folder = value; }
    // Records the queue as compile found it, compiles it and hands the frame to `send`.
    void compile() override;

    // The queue's text with CR LF line breaks.
    std::string queue() const;

    QPlainTextEdit* commands;
    std::array<QPushButton*, 18> buttons{};
    QPlainTextEdit* parser;
    QLineEdit* txd;
    QLineEdit* count;
    std::string folder;
    std::vector<std::string> compiledQueues;
    std::vector<std::string> frames;
    std::function<void(const std::string&)> send;
};

// Answers every dialog with `answer`, or throws `failure` when set.
struct ScriptedFileDialog : FileDialogPresenter {
    FileDialogAnswer answer;
    std::vector<FileDialogRequest> requests;
    FileDialogAnswer present(const FileDialogRequest& request) override;
};

struct AlertRecorder : AlertPresenter {
    std::vector<AlertRequest> shown;
    std::int16_t present(const AlertRequest& request) override;
};

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::filesystem::path path() const { return path_; }
    // Writes `text` to a file in the folder and returns its full path.
    std::string write(const std::string& name, const std::string& text) const;

private:
    std::filesystem::path path_;
};

// Collection text of `count` scripts with headings "<prefix>1" ... and two lines each.
std::string collectionText(int count, const std::string& prefix = "Script ");

// Event helpers: what a user's mouse and keyboard send.
void click(QWidget* widget);
void doubleClick(QWidget* widget);
void typeKeys(QWidget* widget, const std::string& keys);
void focusIn(QWidget* widget);
void focusOut(QWidget* widget);

}  // namespace sarnel::testing
