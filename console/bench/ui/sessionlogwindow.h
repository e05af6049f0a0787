// The session log window: every frame sent and reply received, with its time, as a table,
// and "Save log…" (CSV or text, by the name's ending) and "Copy log" (text). It follows the log
// while it is shown; a note above the table says when old entries were dropped.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "console/bench/logbook.h"

class QLabel;
class QPushButton;
class QTableView;
class QTimer;

namespace sarnel {

class LogModel;

class SessionLogWindow final : public QWidget {
    Q_OBJECT
public:
    // The book outlives the window.
    explicit SessionLogWindow(bench::LogBook& book, QWidget* parent = nullptr);

    // Asks where to save: a path, or "" to cancel. A file dialog unless a test sets another.
    std::function<std::string()> asksavepath;

    // "Save log…" to `path`; false after a failure (an alert has said why).
    bool savelog(const std::string& path);
    // "Copy log": the whole log as text on the clipboard.
    void copylog();
    // Catches the table up with the log (it also does so on its own while shown).
    void refresh();
    LogModel* model() const { return model_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bench::LogBook& book_;
    LogModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* note_ = nullptr;
    QLabel* count_ = nullptr;
    QTimer* follow_ = nullptr;
};

}  // namespace sarnel
