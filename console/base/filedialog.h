// The console's open-file dialog. The logic (result fields, cancel and failure paths, filter
// texts) is plain C++; the dialog itself is reached through a presenter seam: the windows
// install the QFileDialog presenter (console/base/ui/qtfiledialog.h), tests install one that
// answers as they please, and without one every dialog counts as cancelled (sarnel-cli).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sarnel {

// Separates the fields of fileopendialog's result.
inline constexpr char kFileFieldSeparator = '\xFF';

// The console's error number for a dialog that the user cancelled.
inline constexpr std::int32_t kDialogCancelled = 32755;

// What a presenter is asked to show.
struct FileDialogRequest {
    std::string title;
    std::string folder;       // the folder the dialog opens in; may be empty (current folder)
    std::string defaultName;  // pre-filled file name; may be empty
    std::string filter;       // dialogfilter's text: "name(pattern)|pattern|name(pattern)|pattern"
    bool multiSelect = false;
    bool pathMustExist = true;  // the chosen files must exist
};

// The user's answer: the chosen files as full paths, or cancelled.
struct FileDialogAnswer {
    bool cancelled = true;
    std::vector<std::string> files;

    static FileDialogAnswer cancel() { return {}; }
    static FileDialogAnswer chosen(std::vector<std::string> paths) { return {false, std::move(paths)}; }
};

// Shows a modal open-file dialog and returns the answer. A presenter that cannot show the dialog
// throws ConsoleError (console/base/consoleerror.h); a ConsoleError with kDialogCancelled
// counts as a cancel.
class FileDialogPresenter {
public:
    virtual ~FileDialogPresenter() = default;
    virtual FileDialogAnswer present(const FileDialogRequest& request) = 0;
};

// Installs the presenter for every later fileopendialog; nullptr restores the default (every
// dialog cancelled). The caller keeps ownership and uninstalls it before destroying it.
// User-interface thread only.
void setFileDialogPresenter(FileDialogPresenter* presenter);
FileDialogPresenter* fileDialogPresenter();

// Shows the open-file dialog and returns, for a single selection,
//   full path, char 255, folder (the path without its last "/" and name), char 255, file name
// ("/fw/app.hex" gives "/fw/app.hex" 255 "/fw" 255 "app.hex"). With multiSelect set (non-zero)
// and several files chosen: folder 255 name 255 name ...; with one file chosen: folder 255 name.
// Cancel: defaultName is set to "" and the result is "". Any failure: the alert
// "File open error" (style 2, the failure's number) and the result "".
// filterDescription goes through dialogfilter (and may be replaced by "1" there).
std::string fileopendialog(const std::string& title, std::string& defaultName, const std::string& folder,
                           std::string& filterDescription, std::int16_t multiSelect);

// The dialog's filter text for a filter description. An empty description or "0" is replaced
// by "1" (in the caller's variable too). A description with a non-zero leading number gives
// "Text Files(*.txt)|*.txt" for 2 and "Text Files(*.txt)|*.txt|All Files(*.*)|*.*" for any
// other; else it is a list "name,pattern,name,pattern,..." giving "name(pattern)|pattern|...".
// "Hex files,*.hex" gives "Hex files(*.hex)|*.hex".
std::string dialogfilter(std::string& description);

// dialogfilter's text in QFileDialog's form: entries separated by ";;", each "name (patterns)"
// with the patterns separated by spaces; "*.*" becomes "*" so that files without an extension
// are listed too. "Hex files(*.hex)|*.hex" gives "Hex files (*.hex)".
std::string qtfilter(const std::string& filterText);

}  // namespace sarnel
