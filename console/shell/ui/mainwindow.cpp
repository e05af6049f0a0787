#include "console/shell/ui/mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTextBrowser>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>
#include <cstdio>

#include "console/base/ui/screenfit.h"
#include "console/base/ui/statusbar.h"
#include "console/bootloader/ui/showbootloader.h"
#include "console/command/frames.h"
#include "console/command/ui/workspacepanel.h"
#include "console/responses/ui/portscanform.h"
#include "console/shell/basicutilities.h"
#include "console/shell/helpdocs.h"
#include "console/shell/rtfreader.h"
#include "console/shell/ui/benchtools.h"
#include "console/shell/ui/mnemonics.h"
#include "console/shell/versiontext.h"

namespace sarnel {

namespace {

QString latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
std::string bytes(const QString& text) {
    return text.toLatin1().toStdString();
}

// The console's texts break lines with CR LF; a Qt text box keeps "\n" only.
QString boxLines(std::string_view text) {
    QString out = latin1(text);
    out.remove(QLatin1Char('\r'));
    return out;
}

}  // namespace

// The help box: a read-only rich-text view over the window's centre; a double click hides it.
class HelpBox final : public QTextBrowser {
public:
    explicit HelpBox(QWidget* parent) : QTextBrowser(parent) {
        setObjectName("helpbox");
        setOpenExternalLinks(false);
        setToolTip("Double click to close");
    }

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QTextBrowser::mouseDoubleClickEvent(event);
        hide();
    }
};

ActivityList::ActivityList(QPlainTextEdit* list, QLineEdit* rxd, QCheckBox* continuous)
    : list_(list), rxd_(rxd), continuous_(continuous) {
    list_->setUndoRedoEnabled(false);
}

void ActivityList::clear() {
    list_->clear();
}

void ActivityList::append(std::string_view text) {
    // Insert at the end through a cursor: the document grows by what is new, and the view
    // follows the end only when it was already there.
    QScrollBar* bar = list_->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    if (end_.isNull() || end_.document() != list_->document()) end_ = QTextCursor(list_->document());
    end_.movePosition(QTextCursor::End);
    end_.insertText(boxLines(text));
    if (atEnd) bar->setValue(bar->maximum());
}

void ActivityList::setRxd(std::string_view text) {
    rxd_->setText(latin1(text));
}

bool ActivityList::continuousRx() {
    return continuous_->isChecked();
}

MainWindow::MainWindow(ConsoleState& state, SerialFactory makeRs232, QWidget* parent) : QWidget(parent) {
    setObjectName("main");
    setWindowTitle("Sarnel Master script processor");
    scanform_ = std::make_unique<PortScanForm>();
    build();
    activity_ = std::make_unique<ActivityList>(i2cparser_, rxbufferbox_, continuousrx_);
    console_ = std::make_unique<MainConsole>(*this, state, makeRs232(), makeRs232, scanform_.get());
    workspace_ = new WorkspacePanel(*this, content_);
    workspace_->setObjectName("workspace");
    static_cast<QVBoxLayout*>(content_->layout())->addWidget(workspace_);
    console_->status().setSink(statusbar_);
    connect(reconnect_, &QCheckBox::toggled, this, [this](bool on) { console_->setReconnect(on); });
    watchports(std::make_unique<PortPresence>());
    tools_ = new BenchTools(*this, toolsButton_);
    addmnemonics(*this);
}

void MainWindow::watchports(std::unique_ptr<PortPresence> presence) {
    delete portwatch_;
    portwatch_ = nullptr;
    console_->watchports(std::move(presence));
    if (PortPresence* p = console_->presence(); p && p->descriptor() >= 0) {
        portwatch_ = new QSocketNotifier(p->descriptor(), QSocketNotifier::Read, this);
        connect(portwatch_, &QSocketNotifier::activated, this, [this] { console_->portschanged(); });
    }
}

MainWindow::~MainWindow() {
    // The bench tools watch the console's link: they go first.
    delete tools_;
    tools_ = nullptr;
    // The console's controls go before the widgets their handlers write to.
    delete portwatch_;
    console_->status().setSink(nullptr);
    console_.reset();
}

QPushButton* MainWindow::makeButton(int index, QWidget* parent) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QString("cmmd_%1").arg(index));
    if (std::optional<CommandButton> b = commandbutton(index)) {
        button->setText(latin1(b->caption));
        if (!b->tooltip.empty()) button->setToolTip(latin1(b->tooltip));
    }
    connect(button, &QPushButton::clicked, this, [this, index] { console_->cmmdclick(index); });
    return button;
}

namespace {

// A button as wide as its caption needs: the style's usual minimum of a text button is wider
// than short captions, and a row of fifteen of them would not fit a small screen.
void fitToCaption(QPushButton* button) {
    const int text = button->fontMetrics().horizontalAdvance(button->text());
    button->setFixedWidth(std::max(text + 2 * button->fontMetrics().averageCharWidth() + 8, 40));
}

}  // namespace

void MainWindow::build() {
    // Every control sits in a scroll area, which scrolls only on a screen smaller than the
    // window's design (screenfit.h).
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    content_ = new QWidget;
    content_->setObjectName("content");
    scroll_ = makeScrollArea(this, content_);
    QWidget* c = content_;

    auto* root = new QVBoxLayout(c);
    root->setContentsMargins(6, 6, 6, 6);
    root->setSpacing(4);

    // Port and adapter buttons.
    auto* top = new QHBoxLayout;
    top->setSpacing(4);
    top->addWidget(new QLabel("Port", c));
    portselect_ = new QComboBox(c);
    portselect_->setObjectName("portselect");
    portselect_->setMinimumWidth(110);
    portselect_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    portselect_->setMinimumContentsLength(10);
    portselect_->addItem("Select...");
    portselect_->installEventFilter(this);
    connect(portselect_, &QComboBox::activated, this, [this](int index) { console_->portselected(index); });
    top->addWidget(portselect_);
    for (int index = kPresetButtons; index < kCommandButtons; ++index) {
        if (!commandbutton(index)) continue;
        QPushButton* b = makeButton(index, c);
        fitToCaption(b);
        cmmd_[static_cast<std::size_t>(index)] = b;
        top->addWidget(b);
    }
    top->addStretch(1);
    toolsButton_ = BenchTools::makebutton(c);
    top->addWidget(toolsButton_);
    const char* names[] = {nullptr, "Help", "Version"};
    for (int k = 1; k <= 2; ++k) {
        auto* b = new QPushButton(names[k], c);
        b->setObjectName(QString("Command5_%1").arg(k));
        fitToCaption(b);
        connect(b, &QPushButton::clicked, this, [this, k] { command5click(k); });
        command5_[static_cast<std::size_t>(k)] = b;
        top->addWidget(b);
    }
    command5_[2]->setToolTip("Show the revision history for this UI");
    root->addLayout(top);

    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const int line = QFontMetrics(fixed).lineSpacing();

    // The command queue with its compile controls, TXD and RXD, beside the bus activity list.
    auto* middle = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->setSpacing(3);
    left->addWidget(new QLabel("Command Queue", c));
    commands_ = new QPlainTextEdit(c);
    commands_->setObjectName("commands");
    commands_->setFont(fixed);
    commands_->setTabChangesFocus(true);
    commands_->setMinimumHeight(5 * line);
    left->addWidget(commands_, 1);
    auto* compileRow = new QHBoxLayout;
    compileButton_ = makeButton(kCompileButton, c);
    compileRow->addWidget(compileButton_);
    compileRow->addWidget(new QLabel("Tokens", c));
    tokencount_ = new QLineEdit(c);
    tokencount_->setObjectName("tokencount");
    tokencount_->setReadOnly(true);
    tokencount_->setMaximumWidth(50);
    tokencount_->setToolTip(latin1(kTokenCountTooltip));
    compileRow->addWidget(tokencount_);
    continuousrx_ = new QCheckBox("Continuous Rx", c);
    continuousrx_->setObjectName("continuousrx");
    continuousrx_->setToolTip(
        "When unchecked the bus activity list is cleared before each command is transmitted");
    compileRow->addWidget(continuousrx_);
    compileRow->addStretch(1);
    left->addLayout(compileRow);
    auto* io = new QGridLayout;
    io->setVerticalSpacing(3);
    io->addWidget(new QLabel("TXD", c), 0, 0);
    txbufferbox_ = new QLineEdit(c);
    txbufferbox_->setObjectName("txbufferbox");
    txbufferbox_->setReadOnly(true);
    txbufferbox_->setFont(fixed);
    io->addWidget(txbufferbox_, 0, 1);
    io->addWidget(new QLabel("RXD", c), 1, 0);
    rxbufferbox_ = new QLineEdit(c);
    rxbufferbox_->setObjectName("rxbufferbox");
    rxbufferbox_->setReadOnly(true);
    rxbufferbox_->setFont(fixed);
    io->addWidget(rxbufferbox_, 1, 1);
    left->addLayout(io);
    middle->addLayout(left, 2);

    auto* right = new QVBoxLayout;
    right->setSpacing(3);
    right->addWidget(new QLabel("I2C bus activity", c));
    i2cparser_ = new QPlainTextEdit(c);
    i2cparser_->setObjectName("i2cparser");
    i2cparser_->setReadOnly(true);
    i2cparser_->setFont(fixed);
    i2cparser_->setTabStopDistance(8 * QFontMetricsF(fixed).horizontalAdvance(' '));
    // The list is the console's record of the bus: it gets the room the queue leaves.
    i2cparser_->setMinimumHeight(8 * line);
    right->addWidget(i2cparser_, 1);
    middle->addLayout(right, 3);
    root->addLayout(middle, 1);

    // The preset buttons of the loaded script collection, in two rows of nine. Their width does
    // not follow their captions (up to 30 characters), so that loading a collection never
    // widens the window: a long caption is cut at the button's edge.
    auto* presets = new QGridLayout;
    presets->setSpacing(3);
    for (int index = 0; index < kPresetButtons; ++index) {
        QPushButton* b = makeButton(index, c);
        b->setMinimumWidth(40);
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        cmmd_[static_cast<std::size_t>(index)] = b;
        presets->addWidget(b, index / 9, index % 9);
    }
    root->addLayout(presets);

    helpbox_ = new HelpBox(this);
    helpbox_->hide();

    // The status bar under everything: the open port, what happened to it, and whether an
    // adapter that comes back is opened again.
    statusbar_ = new StatusBar(this);
    reconnect_ = new QCheckBox("Reconnect automatically", statusbar_);
    reconnect_->setObjectName("reconnect");
    reconnect_->setChecked(true);
    reconnect_->setToolTip(
        "When the adapter that was unplugged comes back (the same serial number), scan the ports and "
        "open it again");
    statusbar_->addPermanentWidget(reconnect_);
    outer->addWidget(statusbar_);
}

void MainWindow::startup(const std::string& settingsPath) {
    setWindowTitle(windowTitle() + "  " + latin1(versiontext()));
    portselect_->setToolTip(
        "Press \"Enter\" to rescan ports with the expected device ID, or \"Space\" to scan all ports");
    console_->portscanx(1);
    workspace_->selectInitialItems();
    commands_->clear();
    // The design size: what the controls ask for, or less on a screen that cannot show that
    // much (the scroll area then scrolls). The window keeps it for good.
    content_->adjustSize();
    QSize design = content_->sizeHint().expandedTo(content_->minimumSizeHint());
    // Some height beyond what the controls ask for goes to the queue and the activity list.
    design.setHeight(std::max(design.height(), 40 * fontMetrics().lineSpacing()));
    // The status bar sits below the scroll area and always shows.
    design.setHeight(design.height() + statusbar_->sizeHint().height());
    designSize_ = fittedsize(this, design);
    setFixedSize(designSize_);
    keeponscreen(this);
    settingsPath_ = settingsPath.empty() ? settingspath(apppath(), appname()) : settingsPath;
    console_->loadsettings(settingsPath_);
    console_->openremembered();
}

void MainWindow::command5click(int index) {
    if (index != kHelpDocument && index != kRevisionDocument) return;
    if (helpbox_->isVisible() && helpdoc_ == index) {
        helpbox_->hide();
        return;
    }
    helpdoc_ = index;
    const RtfDocument doc = readrtffile(helpdocumentpath(apppath(), index));
    helpbox_->setHtml(QString::fromUtf8(doc.html.data(), static_cast<qsizetype>(doc.html.size())));
    if (!helpbox_->isVisible()) {
        // Over the queue and the activity list, below the top row of buttons.
        const int y = portselect_->mapTo(this, QPoint(0, portselect_->height())).y() + 6;
        helpbox_->setGeometry(6, y, width() - 12, height() - y - 6);
        helpbox_->raise();
        helpbox_->show();
    }
}

void MainWindow::setTxd(const std::string& text) {
    txbufferbox_->setText(latin1(text));
}
void MainWindow::setRxd(const std::string& text) {
    rxbufferbox_->setText(latin1(text));
}

std::string MainWindow::queueText() {
    // The queue's lines as the console keeps them: CR LF between lines.
    std::string text = bytes(commands_->toPlainText());
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

void MainWindow::setTokenCount(const std::string& text) {
    tokencount_->setText(latin1(text));
}

void MainWindow::setPortList(const std::vector<std::string>& names) {
    portselect_->clear();
    portselect_->addItem("Select...");
    for (const std::string& name : names) {
        portselect_->addItem(latin1(name));
        const QString tip = QString::fromStdString(console_->porttooltip(portselect_->count() - 1));
        if (!tip.isEmpty()) portselect_->setItemData(portselect_->count() - 1, tip, Qt::ToolTipRole);
    }
}

void MainWindow::showPortEntry(int index) {
    if (index >= 0 && index < portselect_->count()) portselect_->setCurrentIndex(index);
}

void MainWindow::frame(std::int32_t& left, std::int32_t& width, std::int32_t& top, std::int32_t& height) {
    const QRect g = frameGeometry();
    left = g.left();
    width = g.width();
    top = g.top();
    height = g.height();
}

void MainWindow::showBootloader(std::string& hexFolder) {
    showbootloader(console_->state(), hexFolder, kPortSettings, versiontext(), this);
}

QPushButton* MainWindow::cmmd(int index) {
    if (index == kCompileButton) return compileButton_;
    if (index < 0 || index >= kCommandButtons) return nullptr;
    return cmmd_[static_cast<std::size_t>(index)];
}

QWidget* MainWindow::i2cparser() {
    return i2cparser_;
}
QWidget* MainWindow::txbufferbox() {
    return txbufferbox_;
}
QWidget* MainWindow::tokencount() {
    return tokencount_;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (closing_) return;
    closing_ = true;
    // Any close request is granted: the open adapter is remembered, the port is closed and
    // the settings saved first.
    std::string problem;
    if (!console_->rememberport(&problem))
        std::fprintf(stderr, "sarnel: the open adapter is not remembered: %s\n", problem.c_str());
    console_->rs232().close();
    if (!settingsPath_.empty()) console_->savesettings(settingsPath_);
    // The program ends with its main window: the other windows close with it, and every
    // event loop (a modal window's included) is told to stop.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != this && w->isVisible()) w->close();
    }
    QCoreApplication::quit();
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMaximized))
        setWindowState(windowState() & ~Qt::WindowMaximized);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (designSize_.isValid() && !(windowState() & Qt::WindowMinimized) && size() != designSize_)
        resize(designSize_);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == portselect_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        int character = 0;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            character = 13;
        else if (!key->text().isEmpty())
            character = key->text().at(0).unicode();
        if (character != 0 && console_->portkey(character)) return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace sarnel
