// The main window's bench tools: the "Workbench" menu (bus scan, watch, session log, saving
// and copying the log), the keyboard shortcuts, and the reply timer of the status bar. They
// watch the window's link to the adapter through one Workbench; their windows are separate
// top-level windows, so the main window keeps its size.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "console/bench/workbench.h"

class QMenu;
class QToolButton;

namespace sarnel {

class BusScanWindow;
class MainWindow;
class SessionLogWindow;
class WatchWindow;

class BenchTools final : public QObject {
    Q_OBJECT
public:
    // The menu button of the main window's top row, made while the window builds its rows.
    static QToolButton* makebutton(QWidget* parent);

    // Over the window's console (its link and state), which outlives this.
    BenchTools(MainWindow& window, QToolButton* button);
    ~BenchTools() override;

    bench::Workbench& bench() { return *bench_; }
    // The windows, made on first use.
    BusScanWindow& busscan();
    WatchWindow& watch();
    SessionLogWindow& sessionlog();
    // Shows the window and brings it to the front.
    void open(QWidget& window);

    // Ctrl+L: empties the bus activity list.
    void clearactivity();
    // Puts `script` into the command queue in place of its text (an undoable edit).
    void putinqueue(const std::string& script);

    // The status bar's texts of the reply timer changed: "Round trip 5.31 ms" and "No reply".
    std::function<void(const std::string& roundtrip, const std::string& reply)> onreplystatus;

private:
    void shortcuts();
    void linkchanged();
    void showreplystatus();

    MainWindow& window_;
    std::unique_ptr<bench::Workbench> bench_;
    BusScanWindow* busscan_ = nullptr;
    WatchWindow* watch_ = nullptr;
    SessionLogWindow* sessionlog_ = nullptr;
    QTimer noreply_;  // at the reply timer's wakeup
    std::string roundtrip_, reply_;
};

}  // namespace sarnel
