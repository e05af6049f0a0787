#include "console/shell/ui/benchtools.h"

#include <QMenu>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTextCursor>
#include <QToolButton>

#include "console/bench/ui/busscanwindow.h"
#include "console/bench/ui/sessionlogwindow.h"
#include "console/bench/ui/watchwindow.h"
#include "console/command/frames.h"
#include "console/shell/ui/mainwindow.h"

namespace sarnel {

namespace {

// The button "Rescan" of the top row.
constexpr int kRescanButton = 30;

}  // namespace

QToolButton* BenchTools::makebutton(QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName("workbench");
    button->setText("&Workbench");
    button->setToolTip("Bus scan, watch a value, the session log");
    button->setPopupMode(QToolButton::InstantPopup);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

BenchTools::BenchTools(MainWindow& window, QToolButton* button)
    : QObject(&window),
      window_(window),
      bench_(std::make_unique<bench::Workbench>(window.console().link(), window.console().state())) {
    bench_->onchange = [this] { linkchanged(); };
    noreply_.setSingleShot(true);
    noreply_.setTimerType(Qt::PreciseTimer);
    connect(&noreply_, &QTimer::timeout, this, [this] {
        bench_->replies().poll(bench::Clock::now());
        showreplystatus();
    });

    auto* menu = new QMenu(button);
    menu->setObjectName("workbenchmenu");
    menu->addAction("&Bus scan…", this, [this] { open(busscan()); })->setObjectName("busscanaction");
    menu->addAction("&Watch…", this, [this] { open(watch()); })->setObjectName("watchaction");
    menu->addAction("Session &log…", this, [this] { open(sessionlog()); })->setObjectName("sessionlogaction");
    menu->addSeparator();
    menu->addAction("&Save log…", this,
                    [this] {
                        SessionLogWindow& log = sessionlog();
                        const std::string path = log.asksavepath ? log.asksavepath() : std::string();
                        if (!path.empty()) log.savelog(path);
                    })
        ->setObjectName("savelogaction");
    menu->addAction("&Copy log", this, [this] { sessionlog().copylog(); })->setObjectName("copylogaction");
    button->setMenu(menu);
    shortcuts();
}

BenchTools::~BenchTools() {
    // The windows go first: their exchanges listen on the workbench.
    delete busscan_;
    delete watch_;
    delete sessionlog_;
}

void BenchTools::shortcuts() {
    auto add = [this](QKeySequence keys, const char* name, std::function<void()> action) {
        auto* s = new QShortcut(keys, &window_);
        s->setObjectName(name);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, std::move(action));
    };
    add(QKeySequence(Qt::CTRL | Qt::Key_Return), "compileshortcut",
        [this] { window_.console().cmmdclick(kCompileButton); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Enter), "compileshortcut2",
        [this] { window_.console().cmmdclick(kCompileButton); });
    add(QKeySequence(Qt::Key_F5), "rescanshortcut", [this] { window_.console().cmmdclick(kRescanButton); });
    add(QKeySequence(Qt::CTRL | Qt::Key_L), "clearshortcut", [this] { clearactivity(); });
}

BusScanWindow& BenchTools::busscan() {
    if (!busscan_) {
        busscan_ = new BusScanWindow(*bench_, &window_);
        busscan_->putinqueue = [this](const std::string& script) { putinqueue(script); };
    }
    return *busscan_;
}

WatchWindow& BenchTools::watch() {
    if (!watch_) {
        watch_ = new WatchWindow(*bench_, &window_);
        watch_->queuetext = [this] { return window_.queueText(); };
    }
    return *watch_;
}

SessionLogWindow& BenchTools::sessionlog() {
    if (!sessionlog_) sessionlog_ = new SessionLogWindow(bench_->log(), &window_);
    return *sessionlog_;
}

void BenchTools::open(QWidget& window) {
    window.show();
    window.raise();
    window.activateWindow();
}

void BenchTools::clearactivity() {
    window_.activity().clear();
}

void BenchTools::putinqueue(const std::string& script) {
    QPlainTextEdit* queue = window_.commandQueue();
    QTextCursor cursor(queue->document());
    cursor.select(QTextCursor::Document);
    QString text = QString::fromLatin1(script.data(), static_cast<qsizetype>(script.size()));
    text.remove(QLatin1Char('\r'));
    cursor.insertText(text);
}

void BenchTools::linkchanged() {
    // At most one timer for "No reply": the frame waited for, if any.
    const std::optional<bench::Clock::time_point> wake = bench_->replies().wakeup();
    if (wake) {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wake - bench::Clock::now()).count();
        noreply_.start(static_cast<int>(std::max<long long>(ms, 0)));
    } else {
        noreply_.stop();
    }
    showreplystatus();
}

void BenchTools::showreplystatus() {
    const ReplyTimer& t = bench_->replies();
    std::string roundtrip = t.roundTripText();
    std::string reply = t.replyText();
    if (roundtrip == roundtrip_ && reply == reply_) return;
    roundtrip_ = std::move(roundtrip);
    reply_ = std::move(reply);
    StatusLine& status = window_.console().status();
    status.set(StatusSegment::roundtrip,
               {roundtrip_, roundtrip_.empty() ? "" : "From the last frame written to its answer decoded"});
    status.set(StatusSegment::reply,
               {reply_, reply_.empty() ? "" : "The last frame sent has had no answer for half a second"});
    if (onreplystatus) onreplystatus(roundtrip_, reply_);
}

}  // namespace sarnel
