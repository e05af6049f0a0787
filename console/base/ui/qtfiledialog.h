// The open-file dialog of the windows: a QFileDialog behind the console's dialog seam.
#pragma once

#include "console/base/filedialog.h"

class QWidget;

namespace sarnel {

class QtFileDialogPresenter final : public FileDialogPresenter {
public:
    // The dialog is modal over `parent` (may be nullptr), or over the window that has taken the
    // dialogs over (dialogowner.h).
    explicit QtFileDialogPresenter(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    FileDialogAnswer present(const FileDialogRequest& request) override;

private:
    QWidget* parent_;
};

// Installs one QFileDialog presenter for the program's lifetime (idempotent); `parent` becomes
// the dialog's owner window.
void installQtFileDialog(QWidget* parent = nullptr);

}  // namespace sarnel
