#include "console/base/ui/qtfiledialog.h"

#include <QFile>
#include <QFileDialog>
#include <QStringList>

#include "console/base/ui/dialogowner.h"

namespace sarnel {

FileDialogAnswer QtFileDialogPresenter::present(const FileDialogRequest& request) {
    QWidget* owner = dialogowner() ? dialogowner() : parent_;
    QFileDialog dialog(owner, QString::fromLatin1(request.title.c_str()),
                       QFile::decodeName(request.folder.c_str()));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (request.multiSelect)
        dialog.setFileMode(QFileDialog::ExistingFiles);
    else
        dialog.setFileMode(request.pathMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    const QString filters = QString::fromLatin1(qtfilter(request.filter).c_str());
    if (!filters.isEmpty()) dialog.setNameFilters(filters.split(QStringLiteral(";;")));
    if (!request.defaultName.empty()) dialog.selectFile(QFile::decodeName(request.defaultName.c_str()));
    if (dialog.exec() != QDialog::Accepted) return FileDialogAnswer::cancel();
    std::vector<std::string> files;
    for (const QString& file : dialog.selectedFiles()) files.push_back(QFile::encodeName(file).toStdString());
    return FileDialogAnswer::chosen(std::move(files));
}

void installQtFileDialog(QWidget* parent) {
    static QtFileDialogPresenter presenter;
    presenter.setParent(parent);
    setFileDialogPresenter(&presenter);
}

}  // namespace sarnel
