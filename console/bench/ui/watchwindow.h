// The "Watch" window: a script repeated at an interval on the open port, a value taken from
// the bytes each answer read (one byte, or two in either order; signed or not; times a scale),
// plotted over time with its minimum, maximum and last value. It pauses and resumes, exports
// the values as CSV, and stops with a message when a frame can no longer be sent (the adapter
// was unplugged or the port closed).
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "console/bench/watch.h"
#include "console/bench/workbench.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QChartView;
class QLineSeries;
class QValueAxis;

namespace sarnel {

class ExchangeDriver;

class WatchWindow final : public QWidget {
    Q_OBJECT
public:
    // The plot keeps this many of the latest values (the export has them all).
    static constexpr int kPlotPoints = 20000;

    WatchWindow(bench::Workbench& bench, QWidget* parent = nullptr);
    ~WatchWindow() override;

    // The command queue's text, for "From queue".
    std::function<std::string()> queuetext;
    // Asks where to export: a path, or "" to cancel. A file dialog unless a test sets another.
    std::function<std::string()> asksavepath;

    // "Start": compiles the script and starts repeating it; false, with the reason shown, when
    // the script does not compile, a field is wrong or no port is open.
    bool start();
    // "Stop": ends the watch; its values stay until the next start.
    void stop();
    // "Pause" / "Resume".
    void pause();
    void resume();
    // "Export CSV…" to `path`; false after a failure (shown in the window).
    bool exportcsv(const std::string& path);

    const bench::Watch* watch() const { return watch_.get(); }
    QLineSeries* series() const { return series_; }
    QPlainTextEdit* script() const { return script_; }
    QLabel* message() const { return message_; }

protected:
    // Closing the window ends the watch (its values stay for the next time it is shown).
    void closeEvent(QCloseEvent* event) override;

signals:
    // A value was added; the watch has stopped.
    void sampled();
    void stopped();

private:
    void addpoint(const bench::WatchPoint& point);
    void ended();
    void showfigures();
    void buttons();

    bench::Workbench& bench_;
    ExchangeDriver* driver_ = nullptr;
    std::unique_ptr<bench::Watch> watch_;
    QPlainTextEdit* script_ = nullptr;
    QSpinBox* interval_ = nullptr;
    QSpinBox* offset_ = nullptr;
    QComboBox* width_ = nullptr;
    QCheckBox* signed_ = nullptr;
    QLineEdit* scale_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* pause_ = nullptr;
    QPushButton* export_ = nullptr;
    QLabel* min_ = nullptr;
    QLabel* max_ = nullptr;
    QLabel* last_ = nullptr;
    QLabel* message_ = nullptr;
    QChartView* chart_ = nullptr;
    QLineSeries* series_ = nullptr;
    QValueAxis* xaxis_ = nullptr;
    QValueAxis* yaxis_ = nullptr;
};

}  // namespace sarnel
