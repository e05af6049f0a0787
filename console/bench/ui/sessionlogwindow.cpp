#include "console/bench/ui/sessionlogwindow.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "console/base/alert.h"
#include "console/bench/ui/logmodel.h"

namespace sarnel {

SessionLogWindow::SessionLogWindow(bench::LogBook& book, QWidget* parent)
    : QWidget(parent, Qt::Window), book_(book) {
    setObjectName("sessionlog");
    setWindowTitle("Session log");
    auto* layout = new QVBoxLayout(this);
    note_ = new QLabel(this);
    note_->setObjectName("lognote");
    note_->setTextFormat(Qt::PlainText);
    note_->hide();
    layout->addWidget(note_);

    model_ = new LogModel(book_, this);
    table_ = new QTableView(this);
    table_->setObjectName("logtable");
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    // Fixed row heights: a view of a million rows must not measure each one.
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    table_->horizontalHeader()->setStretchLastSection(true);
    const int ch = table_->fontMetrics().averageCharWidth();
    table_->setColumnWidth(LogModel::Time, 17 * ch);
    table_->setColumnWidth(LogModel::Since, 10 * ch);
    table_->setColumnWidth(LogModel::Direction, 10 * ch);
    table_->setColumnWidth(LogModel::Raw, 36 * ch);
    layout->addWidget(table_, 1);

    auto* buttons = new QHBoxLayout;
    count_ = new QLabel(this);
    count_->setObjectName("logcount");
    buttons->addWidget(count_, 1);
    auto* save = new QPushButton("&Save log…", this);
    save->setObjectName("savelog");
    save->setToolTip("Save the log as CSV (a name ending in .csv) or as text");
    auto* copy = new QPushButton("&Copy log", this);
    copy->setObjectName("copylog");
    copy->setToolTip("Copy the whole log to the clipboard as text");
    auto* clear = new QPushButton("C&lear", this);
    clear->setObjectName("clearlog");
    buttons->addWidget(save);
    buttons->addWidget(copy);
    buttons->addWidget(clear);
    layout->addLayout(buttons);

    asksavepath = [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, "Save log", QString(), "CSV files (*.csv);;Text files (*.txt *.log);;All files (*)");
        return path.toStdString();
    };
    connect(save, &QPushButton::clicked, this, [this] {
        const std::string path = asksavepath ? asksavepath() : std::string();
        if (!path.empty()) savelog(path);
    });
    connect(copy, &QPushButton::clicked, this, [this] { copylog(); });
    connect(clear, &QPushButton::clicked, this, [this] {
        book_.clear();
        refresh();
    });

    // While shown, the table follows the log a few times a second rather than at every entry.
    follow_ = new QTimer(this);
    follow_->setInterval(200);
    connect(follow_, &QTimer::timeout, this, [this] { refresh(); });
    resize(900, 420);
}

bool SessionLogWindow::savelog(const std::string& path) {
    std::string error;
    if (book_.save(path, error)) return true;
    ShowAlert("Save log error", error, 0, 0, 10);
    return false;
}

void SessionLogWindow::copylog() {
    const std::string text = book_.text();
    QApplication::clipboard()->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void SessionLogWindow::refresh() {
    QScrollBar* bar = table_->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    model_->sync();
    if (atEnd) table_->scrollToBottom();
    if (auto n = book_.note()) {
        note_->setText(QString::fromLatin1(n->raw.data(), static_cast<qsizetype>(n->raw.size())));
        note_->show();
    } else {
        note_->hide();
    }
    count_->setText(QString::fromStdString(bench::groupdigits(book_.size()) +
                                           (book_.size() == 1 ? " entry" : " entries")));
}

void SessionLogWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    follow_->start();
}

void SessionLogWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    follow_->stop();
}

}  // namespace sarnel
