#include "console/bench/ui/watchwindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>

#include "console/bench/optionvalues.h"
#include "console/bench/registers.h"
#include "console/bench/savefile.h"
#include "console/bench/ui/exchangedriver.h"
#include "console/command/compiler.h"

namespace sarnel {

namespace {

QString latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString figure(std::optional<double> value) {
    return value ? QString::number(*value, 'g', 8) : QStringLiteral("–");
}

// The queue's form of a script: lines ending in CR LF.
std::string queuelines(std::string text) {
    std::string out;
    for (char c : text) {
        if (c == '\n' && (out.empty() || out.back() != '\r')) out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

WatchWindow::WatchWindow(bench::Workbench& bench, QWidget* parent)
    : QWidget(parent, Qt::Window), bench_(bench) {
    setObjectName("watch");
    setWindowTitle("Watch");
    driver_ = new ExchangeDriver(bench_, this);
    connect(driver_, &ExchangeDriver::stepped, this, [this] { showfigures(); });
    connect(driver_, &ExchangeDriver::finished, this, [this] { ended(); });

    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel("Script", this));
    script_ = new QPlainTextEdit(this);
    script_->setObjectName("watchscript");
    script_->setFont(QFont("Monospace"));
    script_->setTabChangesFocus(true);
    // An LM75's temperature at 0x48: its register 0, two bytes.
    const bench::RegisterRead lm75({0x48, 0x00, false}, 2);
    script_->setPlainText(latin1(";LM75 temperature at 0x48\n" + lm75.script()).remove(QLatin1Char('\r')));
    left->addWidget(script_, 1);
    auto* fromQueue = new QPushButton("From &queue", this);
    fromQueue->setObjectName("fromqueue");
    fromQueue->setToolTip("Watch the script in the command queue");
    connect(fromQueue, &QPushButton::clicked, this, [this] {
        if (queuetext) script_->setPlainText(latin1(queuetext()).remove(QLatin1Char('\r')));
    });
    left->addWidget(fromQueue);

    auto* form = new QFormLayout;
    interval_ = new QSpinBox(this);
    interval_->setObjectName("interval");
    interval_->setRange(10, static_cast<int>(bench::kMaxMilliseconds));
    interval_->setValue(100);
    interval_->setSuffix(" ms");
    form->addRow("&Interval", interval_);
    offset_ = new QSpinBox(this);
    offset_->setObjectName("firstbyte");
    offset_->setRange(1, 124);
    offset_->setValue(1);
    offset_->setToolTip("Which of the bytes the script reads is the value's first (1 is the first read)");
    form->addRow("First &byte", offset_);
    width_ = new QComboBox(this);
    width_->setObjectName("width");
    width_->addItems({"One byte", "Two bytes, big-endian", "Two bytes, little-endian"});
    width_->setCurrentIndex(1);
    form->addRow("&Value", width_);
    signed_ = new QCheckBox("Si&gned (two's complement)", this);
    signed_->setObjectName("signed");
    signed_->setChecked(true);
    form->addRow(QString(), signed_);
    scale_ = new QLineEdit("1/256", this);
    scale_->setObjectName("scale");
    scale_->setToolTip("The value is the number times this: 1/256 gives an LM75's °C");
    form->addRow("S&cale", scale_);
    left->addLayout(form);

    auto* row = new QHBoxLayout;
    start_ = new QPushButton("&Start", this);
    start_->setObjectName("start");
    pause_ = new QPushButton("&Pause", this);
    pause_->setObjectName("pause");
    export_ = new QPushButton("&Export CSV…", this);
    export_->setObjectName("exportcsv");
    row->addWidget(start_);
    row->addWidget(pause_);
    row->addWidget(export_);
    left->addLayout(row);

    auto* figures = new QFormLayout;
    min_ = new QLabel(this);
    min_->setObjectName("min");
    max_ = new QLabel(this);
    max_->setObjectName("max");
    last_ = new QLabel(this);
    last_->setObjectName("last");
    figures->addRow("Minimum", min_);
    figures->addRow("Maximum", max_);
    figures->addRow("Last", last_);
    left->addLayout(figures);
    message_ = new QLabel(this);
    message_->setObjectName("watchmessage");
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);
    left->addWidget(message_);
    layout->addLayout(left, 2);

    series_ = new QLineSeries;
    series_->setName("value");
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->addSeries(series_);
    xaxis_ = new QValueAxis;
    xaxis_->setTitleText("seconds");
    xaxis_->setLabelFormat("%.1f");
    yaxis_ = new QValueAxis;
    yaxis_->setLabelFormat("%.4g");
    chart->addAxis(xaxis_, Qt::AlignBottom);
    chart->addAxis(yaxis_, Qt::AlignLeft);
    series_->attachAxis(xaxis_);
    series_->attachAxis(yaxis_);
    xaxis_->setRange(0, 10);
    yaxis_->setRange(0, 1);
    chart_ = new QChartView(chart, this);
    chart_->setObjectName("chart");
    chart_->setRenderHint(QPainter::Antialiasing);
    chart_->setMinimumSize(420, 280);
    layout->addWidget(chart_, 5);

    asksavepath = [this] {
        return QFileDialog::getSaveFileName(this, "Export CSV", QString(), "CSV files (*.csv);;All files (*)")
            .toStdString();
    };
    connect(start_, &QPushButton::clicked, this, [this] {
        if (watch_ && !watch_->stopped())
            stop();
        else
            start();
    });
    connect(pause_, &QPushButton::clicked, this, [this] {
        if (watch_ && watch_->paused())
            resume();
        else
            pause();
    });
    connect(export_, &QPushButton::clicked, this, [this] {
        const std::string path = asksavepath ? asksavepath() : std::string();
        if (!path.empty()) exportcsv(path);
    });
    buttons();
    showfigures();
    resize(900, 460);
}

WatchWindow::~WatchWindow() {
    driver_->stop();
}

void WatchWindow::closeEvent(QCloseEvent* event) {
    stop();
    QWidget::closeEvent(event);
}

bool WatchWindow::start() {
    if (watch_ && !watch_->stopped()) return false;
    std::string script = queuelines(script_->toPlainText().toLatin1().toStdString());
    const CompileResult compiled = compilescript(script);
    if (compiled.frame.empty()) {
        message_->setText(latin1("The script does not compile: " + compiled.error));
        return false;
    }
    std::string why;
    const std::optional<double> scale = bench::parsescale(scale_->text().toStdString(), why);
    if (!scale) {
        message_->setText(latin1("Scale: " + why));
        return false;
    }
    if (!bench_.portopen()) {
        message_->setText("No port is open: choose the adapter in the port list first.");
        return false;
    }
    bench::WatchSettings settings;
    settings.frame = compiled.frame;
    settings.interval = std::chrono::milliseconds(interval_->value());
    settings.pick.offset = static_cast<std::size_t>(offset_->value() - 1);
    settings.pick.width = width_->currentIndex() == 0 ? 1 : 2;
    settings.pick.bigEndian = width_->currentIndex() != 2;
    settings.pick.isSigned = signed_->isChecked();
    settings.pick.scale = *scale;
    // The answer's time-out: the interval, but never less than the link needs.
    settings.timeout = std::max(settings.interval, std::chrono::milliseconds(500));
    watch_ = std::make_unique<bench::Watch>(settings, bench_);
    watch_->onpoint = [this](const bench::WatchPoint& p) { addpoint(p); };
    series_->clear();
    xaxis_->setRange(0, 10);
    yaxis_->setRange(0, 1);
    message_->clear();
    driver_->run(*watch_);
    buttons();
    showfigures();
    return true;
}

void WatchWindow::stop() {
    if (!watch_ || watch_->stopped()) return;
    driver_->stop();
    watch_->stop("Stopped.");
    ended();
}

void WatchWindow::pause() {
    if (!watch_ || watch_->stopped() || watch_->paused()) return;
    driver_->stop();
    watch_->pause();
    message_->setText("Paused.");
    buttons();
}

void WatchWindow::resume() {
    if (!watch_ || !watch_->paused()) return;
    message_->clear();
    // The driver starts the watch again (Watch::start); it keeps its values and its time.
    driver_->run(*watch_);
    buttons();
}

bool WatchWindow::exportcsv(const std::string& path) {
    const std::string text = watch_ ? watch_->csv() : std::string("seconds,value\n");
    std::string error;
    const bool ok = bench::savefile(
        path, [&](std::FILE* f) { return std::fwrite(text.data(), 1, text.size(), f) == text.size(); },
        error);
    message_->setText(latin1(ok ? "Exported to " + path : error));
    return ok;
}

void WatchWindow::addpoint(const bench::WatchPoint& p) {
    if (series_->count() >= kPlotPoints) series_->removePoints(0, series_->count() - kPlotPoints + 1);
    series_->append(p.seconds, p.value);
    if (p.seconds > xaxis_->max()) xaxis_->setRange(std::max(0.0, p.seconds - 300.0), p.seconds * 1.2 + 1);
    const double low = *watch_->min(), high = *watch_->max();
    if (low < yaxis_->min() || high > yaxis_->max() || watch_->points().size() == 1) {
        const double span = high - low;
        const double pad = span > 0 ? span * 0.1 : std::max(std::abs(high) * 0.05, 0.5);
        yaxis_->setRange(low - pad, high + pad);
    }
    showfigures();
    emit sampled();
}

void WatchWindow::ended() {
    // The exchange has ended: stopped here, or it could not send (unplugged, port closed).
    if (watch_ && !watch_->stopped()) watch_->stop("Stopped.");
    if (watch_) message_->setText(latin1(watch_->message()));
    buttons();
    showfigures();
    emit stopped();
}

void WatchWindow::showfigures() {
    const bench::Watch* w = watch_.get();
    min_->setText(figure(w ? w->min() : std::nullopt));
    max_->setText(figure(w ? w->max() : std::nullopt));
    last_->setText(figure(w ? w->last() : std::nullopt));
    if (w && !w->stopped() && !w->paused()) message_->setText(latin1(w->message()));
}

void WatchWindow::buttons() {
    const bool running = watch_ && !watch_->stopped();
    start_->setText(running ? "&Stop" : "&Start");
    pause_->setText(watch_ && watch_->paused() ? "&Resume" : "&Pause");
    pause_->setEnabled(running);
    for (QWidget* w :
         {static_cast<QWidget*>(script_), static_cast<QWidget*>(interval_), static_cast<QWidget*>(offset_),
          static_cast<QWidget*>(width_), static_cast<QWidget*>(signed_), static_cast<QWidget*>(scale_)})
        w->setEnabled(!running);
}

}  // namespace sarnel
