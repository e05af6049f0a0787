#include "console/bootloader/ui/quorblcform.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

#include "console/base/ui/screenfit.h"
#include "console/bootloader/replies.h"

namespace sarnel::boot {

namespace {

// Positions are given in twips as the window was designed; 15 twips make a pixel.
QRect twips(int left, int top, int width, int height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

QFont consolas() {
    QFont f("Consolas", 9);
    f.setStyleHint(QFont::Monospace);
    return f;
}

QFont arial() {
    QFont f("Arial", 9);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

QString qt(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
std::string bytes(const QString& s) {
    return s.toLatin1().toStdString();
}

// The plain-text box keeps "\n"; the log's line break is CR LF.
QString fromCrLf(const std::string& s) {
    QString t = qt(s);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t;
}

}  // namespace

// The progress bar `progressp`: a blue fill from the left edge to `percent` of the width.
class ProgressBox final : public QWidget {
public:
    using QWidget::QWidget;
    // Repaints only when the filled width changes by a pixel: a long file moves the bar far
    // less often than once a line.
    void setPercent(double p) {
        const int before = filled(percent_), after = filled(p);
        percent_ = p;
        if (before != after) update();
    }
    double percent() const { return percent_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        if (percent_ > 0) painter.fillRect(QRect(0, 0, filled(percent_), height()), QColor(0, 0, 255));
        painter.setPen(Qt::gray);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }

private:
    int filled(double p) const { return p > 0 ? static_cast<int>(width() * p / 100.0 + 0.5) : -1; }
    double percent_ = -1;
};

QuorBLCForm::QuorBLCForm(ConsoleState& state, const std::string& versionText,
                         std::unique_ptr<SerialControl> rs232, SerialFactory scanFactory, QWidget* parent)
    // A dialog-type window: window managers keep it above the window it belongs to (X11
    // marks only such windows as transient for their owner), yet it is not modal.
    : QWidget(parent, Qt::Dialog) {
    setObjectName("QuorBLCForm");
    setWindowTitle(QString(kCaption) + " " + qt(versionText));
    setFont(arial());
    // The controls keep their designed places on a canvas of the design size, in a scroll area
    // that scrolls only on a screen too small for it.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* canvas = canvas_ = new QWidget;
    canvas->setObjectName("canvas");
    canvas->setFixedSize(7305 / 15, 6840 / 15);
    makeScrollArea(this, canvas);
    setFixedSize(fittedsize(this, canvas->size()));

    auto button = [this, canvas](int index, const char* caption, QRect where) {
        auto* b = new QPushButton(caption, canvas);
        b->setObjectName(QString("cmmd_%1").arg(index));
        b->setGeometry(where);
        connect(b, &QPushButton::clicked, this, [this, index] { console_->cmmdclick(index); });
        cmmd_[index] = b;
    };
    auto label = [canvas](const QString& name, const char* caption, QRect where) {
        auto* l = new QLabel(caption, canvas);
        l->setObjectName(name);
        l->setGeometry(where);
        return l;
    };
    auto box = [this, canvas](Field f, const char* name, const char* initial, QRect where, bool mono,
                              bool centred) {
        auto* e = new QLineEdit(initial, canvas);
        e->setObjectName(name);
        e->setGeometry(where);
        e->setReadOnly(true);
        e->setFont(mono ? consolas() : arial());
        if (centred) e->setAlignment(Qt::AlignCenter);
        e->setAutoFillBackground(true);
        fields_[f] = e;
    };

    // Row 1: the sequences and Cancel.
    button(kAppWrite, "App Write", twips(120, 120, 1665, 375));
    button(kBootWrite, "Boot Write", twips(1920, 120, 1665, 375));
    button(kAppToBoot, "App -> Boot", twips(3720, 120, 1665, 375));
    button(kCancel, "Cancel", twips(5520, 120, 1665, 375));
    // Row 2: the file.
    label("Label1_2", "File", twips(120, 640, 480, 285));
    box(Field::codefilename, "codefilename", "", twips(600, 600, 6585, 315), false, false);
    // Row 3: the last reply's code and meaning.
    box(Field::responsecode, "responsecode", "-", twips(120, 1020, 600, 315), false, true);
    box(Field::responsedecode, "responsedecode", "-", twips(840, 1020, 6345, 315), false, false);
    // Rows 4 to 6: the counters and the time.
    const int rowTop[] = {1500, 1920, 2340};
    const struct {
        Field field;
        const char* name;
        const char* caption;
        int column;
        int row;
    } counters[] = {
        {Field::blockswritten, "blockswritten", "Prog blocks", 0, 0},
        {Field::highrompointers, "highrompointers", "High ROM", 0, 1},
        {Field::highromblocks, "highromblocks", "High Blocks", 0, 2},
        {Field::eofrecords, "eofrecords", "Completion", 1, 0},
        {Field::commentlines, "commentlines", "Comments", 1, 1},
        {Field::dataerrors, "dataerrors", "Errors", 1, 2},
    };
    int labelIndex = 0;
    for (const auto& c : counters) {
        const int left = 120 + c.column * 2520;
        label(QString("Label2_%1").arg(labelIndex++), c.caption, twips(left, rowTop[c.row] + 40, 1200, 285));
        box(c.field, c.name, "0", twips(left + 1260, rowTop[c.row], 1080, 315), true, true);
    }
    label(QString("Label2_%1").arg(labelIndex), "Time", twips(5160, 1540, 600, 285));
    box(Field::programtime, "programtime", "---", twips(5760, 1500, 1425, 315), true, true);
    // Row 7: the check boxes and the progress bar.
    showprogress_ = new QCheckBox(canvas);
    showprogress_->setObjectName("showprogress");
    showprogress_->setGeometry(twips(120, 2820, 300, 315));
    showprogress_->setChecked(true);
    label("Label1_3", "Errors", twips(420, 2850, 720, 285));
    runwitherrors_ = new QCheckBox(canvas);
    runwitherrors_->setObjectName("runwitherrors");
    runwitherrors_->setGeometry(twips(1260, 2820, 300, 315));
    runwitherrors_->setChecked(true);
    label("Label3", "Run w/Errors", twips(1560, 2850, 1440, 285));
    progressp_ = new ProgressBox(canvas);
    progressp_->setObjectName("progressp");
    progressp_->setGeometry(twips(3150, 2820, 4035, 315));
    // Row 8: the error log.
    errorlist_ = new QPlainTextEdit(canvas);
    errorlist_->setObjectName("errorlist");
    errorlist_->setGeometry(twips(105, 3180, 7095, 2055));
    errorlist_->setFont(consolas());
    errorlist_->setReadOnly(true);
    errorlist_->setLineWrapMode(QPlainTextEdit::NoWrap);
    errorlist_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    errorlist_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Row 9: port, baud rate and the adapter commands.
    portselect_ = new QComboBox(canvas);
    portselect_->setObjectName("portselect");
    portselect_->setGeometry(twips(120, 5340, 1800, 315));
    portselect_->addItem("Select...");
    portselect_->installEventFilter(this);
    connect(portselect_, &QComboBox::activated, this, [this](int index) { console_->portselected(index); });
    baudrateselect_ = new QComboBox(canvas);
    baudrateselect_->setObjectName("baudrateselect");
    baudrateselect_->setGeometry(twips(2040, 5340, 1200, 315));
    for (const char* rate : kBaudRates) baudrateselect_->addItem(rate);
    connect(baudrateselect_, &QComboBox::activated, this, [this](int) { console_->baudselected(); });
    button(kRescan, "Rescan", twips(3360, 5310, 915, 375));
    button(kPing, "Ping", twips(4320, 5310, 915, 375));
    button(kResetCause, "Reset?", twips(5280, 5310, 915, 375));
    button(kResetNow, "Reset!", twips(6240, 5310, 945, 375));
    // Rows 10 and 11: the last command and reply.
    label("Label1_0", "TXD", twips(120, 5860, 480, 285));
    box(Field::txbufferbox, "txbufferbox", "", twips(600, 5820, 6585, 315), true, false);
    label("Label1_1", "RXD", twips(120, 6280, 480, 285));
    box(Field::rxbufferbox, "rxbufferbox", "", twips(600, 6240, 6585, 315), true, false);

    refresh_.setSingleShot(true);
    refresh_.setInterval(kRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, [this] { flush(); });

    console_ = std::make_unique<BootConsole>(*this, state, std::move(rs232), std::move(scanFactory));
    // Window load: the baud entry first (its handler does nothing before the loaded flag).
    baudrateselect_->setCurrentIndex(kDefaultBaudEntry);
    console_->baudselected();
    console_->setLoaded(true);
}

QuorBLCForm::~QuorBLCForm() = default;

void QuorBLCForm::placeAt(QPoint topLeft) {
    move(topLeft);
    setFixedSize(fittedsize(this, canvas_->size()));
    keeponscreen(this);
}

double QuorBLCForm::progress() const {
    return progressp_->percent();
}

std::string QuorBLCForm::text(Field f) {
    const auto held = pending_.find(f);
    return bytes(held != pending_.end() ? held->second : field(f)->text());
}

void QuorBLCForm::setText(Field f, const std::string& value) {
    const QString text = qt(value);
    if (deferring_) {
        pending_[f] = text;
        if (!refresh_.isActive()) refresh_.start();
        return;
    }
    // Most lines leave most fields as they were ("!Ba[cr]" again): no repaint for those.
    QLineEdit* e = field(f);
    if (e->text() != text) e->setText(text);
}

void QuorBLCForm::setResponseColour(Rgb c) {
    const QColor colour(c.r, c.g, c.b);
    if (deferring_) {
        pendingColour_ = colour;
        if (!refresh_.isActive()) refresh_.start();
        return;
    }
    QLineEdit* e = field(Field::responsecode);
    QPalette p = e->palette();
    if (p.color(QPalette::Base) == colour) return;
    // The background is the reply's colour; the text takes the colour that reads on it, not
    // the theme's (light text on yellow under a dark theme, dark text on blue under a light one).
    const Rgb ink = textcolour(c);
    p.setColor(QPalette::Base, colour);
    p.setColor(QPalette::Text, QColor(ink.r, ink.g, ink.b));
    e->setPalette(p);
}

void QuorBLCForm::flush() {
    refresh_.stop();
    const bool wasDeferring = deferring_;
    deferring_ = false;
    std::map<Field, QString> held;
    held.swap(pending_);
    for (const auto& [f, text] : held)
        if (field(f)->text() != text) field(f)->setText(text);
    if (pendingColour_) {
        const QColor c = *pendingColour_;
        pendingColour_.reset();
        setResponseColour({static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                           static_cast<std::uint8_t>(c.blue())});
    }
    deferring_ = wasDeferring;
}

std::string QuorBLCForm::errorList() {
    QString t = errorlist_->toPlainText();
    t.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return bytes(t);
}

void QuorBLCForm::setErrorList(const std::string& value) {
    errorlist_->setPlainText(fromCrLf(value));
}

void QuorBLCForm::prependError(const std::string& line) {
    // Inserted at the top instead of rewriting the whole log: long runs with many rejected
    // lines stay cheap.
    QTextCursor cursor(errorlist_->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(fromCrLf(line) + "\n");
}

bool QuorBLCForm::showProgress() {
    return showprogress_->isChecked();
}
bool QuorBLCForm::runWithErrors() {
    return runwitherrors_->isChecked();
}
void QuorBLCForm::clearProgress() {
    progressp_->setPercent(-1);
}
void QuorBLCForm::drawProgress(double percent) {
    progressp_->setPercent(percent);
}
void QuorBLCForm::beep() {
    QApplication::beep();
}
// After a serial failure: the list back on "Select...", whose handler leaves the port closed.
void QuorBLCForm::selectNoPort() {
    console_->selectNoPort();
}

void QuorBLCForm::setPortList(const std::vector<std::string>& names) {
    portselect_->clear();
    portselect_->addItem("Select...");
    for (const std::string& n : names) portselect_->addItem(qt(n));
}

void QuorBLCForm::showPortEntry(int index) {
    portselect_->setCurrentIndex(index);
}

std::string QuorBLCForm::baudText() {
    return bytes(baudrateselect_->currentText());
}

void QuorBLCForm::setButtonsEnabled(bool enabled) {
    for (int i = 0; i <= 6; ++i) cmmd_.at(i)->setEnabled(enabled);
    // A run starts with the buttons disabled and ends with them enabled again.
    if (enabled) flush();
    deferring_ = !enabled;
}

void QuorBLCForm::frame(std::int32_t& left, std::int32_t& width, std::int32_t& top, std::int32_t& height) {
    const QRect g = frameGeometry();
    left = g.left();
    width = g.width();
    top = g.top();
    height = g.height();
}

void QuorBLCForm::closeEvent(QCloseEvent* event) {
    console_->closing();
    event->accept();
}

bool QuorBLCForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == portselect_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) console_->portkey(13);
        return true;  // the list cannot be typed into
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace sarnel::boot
