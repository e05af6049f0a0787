// What the bootloader window tests share: one QApplication with the Qt pump, a file dialog
// that answers as told, and HEX files in a folder of their own.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "console/base/filedialog.h"

namespace boottest {

// Answers every open-file dialog with `path` (cancel when empty) and keeps the requests.
class DialogAnswer : public sarnel::FileDialogPresenter {
public:
    DialogAnswer() { sarnel::setFileDialogPresenter(this); }
    ~DialogAnswer() override { sarnel::setFileDialogPresenter(nullptr); }
    sarnel::FileDialogAnswer present(const sarnel::FileDialogRequest& request) override {
        requests.push_back(request);
        if (path.empty()) return sarnel::FileDialogAnswer::cancel();
        return sarnel::FileDialogAnswer::chosen({path});
    }
    std::string path;
    std::vector<sarnel::FileDialogRequest> requests;
};

// A fresh folder, removed at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::filesystem::path path() const { return path_; }
    std::string write(const std::string& name, const std::vector<std::string>& lines);

private:
    std::filesystem::path path_;
};

// Runs window events for `ms` milliseconds.
void settle(int ms);

}  // namespace boottest
