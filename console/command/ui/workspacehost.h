// What the script workspace needs of the window it sits on. The main window implements this
// interface and owns the widgets it hands out; the workspace panel only connects to them.
//
// Object names of array members: "<name>_<index>", e.g. "cmmd_0" to "cmmd_17", "Label2_5",
// "tokenvalue_3"; single controls carry their plain name ("commands", "i2cparser").
#pragma once

#include <string>

class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace sarnel {

class WorkspaceHost {
public:
    virtual ~WorkspaceHost() = default;

    // `commands`, the command queue that compile reads.
    virtual QPlainTextEdit* commandQueue() = 0;
    // Preset button cmmd(index), index 0 to 17.
    virtual QPushButton* cmmd(int index) = 0;
    // The bus activity list `i2cparser` and the TXD window `txbufferbox`: cleared by a double
    // click. Either may be a QLineEdit, QPlainTextEdit or QTextEdit.
    virtual QWidget* i2cparser() = 0;
    virtual QWidget* txbufferbox() = 0;
    // `tokencount`, the frame length of the last script sent (written by compile).
    virtual QWidget* tokencount() = 0;

    // The folder of the last loaded script collection, with a trailing "/" (settings line 1).
    // Read when Load opens its dialog, written after a file has been chosen.
    virtual std::string scriptFolder() = 0;
    virtual void setScriptFolder(const std::string& folder) = 0;

    // Compiles the command queue and sends the frame; reports its own errors.
    virtual void compile() = 0;
};

}  // namespace sarnel
