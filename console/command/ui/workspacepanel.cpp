#include "console/command/ui/workspacepanel.h"

#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include "console/base/alert.h"
#include "console/base/consoleerror.h"
#include "console/base/filedialog.h"
#include "console/base/textroutines.h"
#include "console/command/collection.h"
#include "console/command/frames.h"
#include "console/command/samples.h"
#include "console/command/ui/queuetext.h"
#include "console/command/workspace.h"

namespace sarnel {

namespace {

// The value box that feeds each label that takes a value.
int valueBoxOfLabel(int label) {
    switch (label) {
        case 1:
            return 0;
        case 4:
            return 1;
        case 22:
            return 2;
        case 31:
            return 3;
        default:
            return -1;
    }
}

// Where double clicks arrive: a scrolling text box takes its mouse events on its viewport.
QWidget* mouseTarget(QWidget* box) {
    if (auto* area = qobject_cast<QAbstractScrollArea*>(box)) return area->viewport();
    return box;
}

// A key press that types a character; navigation and editing keys carry no text, and Tab moves
// the focus.
bool typesCharacter(const QKeyEvent* key) {
    if (key->text().isEmpty()) return false;
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) return false;
    return true;
}

}  // namespace

WorkspacePanel::WorkspacePanel(WorkspaceHost& host, QWidget* parent)
    : QWidget(parent), host_(host), workspace_(std::make_unique<Workspace>()) {
    setObjectName(QStringLiteral("workspace"));
    build();
    connectHost();
}

WorkspacePanel::~WorkspacePanel() = default;

void WorkspacePanel::build() {
    combo1_ = new QComboBox(this);
    combo1_->setObjectName(QStringLiteral("Combo1"));
    combo1_->setEditable(false);
    for (const SampleScript& sample : samplescripts()) combo1_->addItem(toQt(std::string(sample.title)));

    command4_ = new QPushButton(QStringLiteral("Load"), this);
    command4_->setObjectName(QStringLiteral("Command4"));

    combo2_ = new QComboBox(this);
    combo2_->setObjectName(QStringLiteral("Combo2"));
    combo2_->setEditable(false);
    combo2_->addItem(QString::fromLatin1(kCollectionPrompt));

    oneclick_ = new QCheckBox(QStringLiteral("One Click Commands"), this);
    oneclick_->setObjectName(QStringLiteral("oneclick"));
    oneclick_->setToolTip(QStringLiteral(
        "When checked the command buttons below populate the command queue and execute immediately, else "
        "just populate the queue"));
    oneclicktokens_ = new QCheckBox(QStringLiteral("One Click Tokens"), this);
    oneclicktokens_->setObjectName(QStringLiteral("oneclicktokens"));
    oneclicktokens_->setToolTip(QStringLiteral(
        "Check to execute tokens below when clicked else build up clicks into the command queue"));

    for (int i = 0; i < kTokenLabels; ++i) {
        const TokenCode* token = tokenforlabel(i);
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("Label2_%1").arg(i));
        if (token) {
            label->setText(toQt(std::string(token->caption)));
            label->setToolTip(toQt(std::string(token->tooltip)));
        }
        label->setTextFormat(Qt::PlainText);
        label->setCursor(Qt::PointingHandCursor);
        label->installEventFilter(this);
        labels_[static_cast<std::size_t>(i)] = label;
    }

    const auto& boxes = tokenValueBoxes();
    for (int i = 0; i < kTokenValues; ++i) {
        auto* box = new QLineEdit(QString::fromLatin1(boxes[static_cast<std::size_t>(i)].defaultText), this);
        box->setObjectName(QStringLiteral("tokenvalue_%1").arg(i));
        box->setMaxLength(boxes[static_cast<std::size_t>(i)].maxLength);
        // Keys are filtered in eventFilter; the validator keeps pasted text to hex digits too.
        box->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]*")), box));
        box->setMaximumWidth(box->fontMetrics().horizontalAdvance(QLatin1Char('W')) *
                             (boxes[static_cast<std::size_t>(i)].maxLength + 2));
        box->installEventFilter(this);
        tokenvalues_[static_cast<std::size_t>(i)] = box;
    }

    rxdata_ = new QPlainTextEdit(this);
    rxdata_->setObjectName(QStringLiteral("rxdata"));
    txdata_ = new QPlainTextEdit(this);
    txdata_->setObjectName(QStringLiteral("txdata"));

    combo1_->installEventFilter(this);
    combo2_->installEventFilter(this);
    mouseTarget(rxdata_)->installEventFilter(this);
    mouseTarget(txdata_)->installEventFilter(this);

    // Layout, kept low so that the window fits small screens: the lists and the check boxes in
    // one row; the reference card in four columns of eight (value boxes beside the labels they
    // feed) with the two data boxes to its right.
    for (QComboBox* list : {combo1_, combo2_}) {
        // Collection titles are up to 100 characters: they must not widen the window.
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        list->setMinimumContentsLength(24);
    }
    auto* top = new QHBoxLayout;
    top->addWidget(combo1_, 2);
    top->addWidget(command4_);
    top->addWidget(combo2_, 2);
    top->addSpacing(8);
    top->addWidget(oneclick_);
    top->addWidget(oneclicktokens_);

    auto* card = new QGridLayout;
    card->setVerticalSpacing(1);
    card->setHorizontalSpacing(4);
    constexpr int kCardRows = 8;
    // Rows of one height, whether or not a value box sits in them.
    const int rowHeight = tokenvalues_[0]->sizeHint().height();
    for (QLabel* label : labels_) label->setMinimumHeight(rowHeight);
    for (int i = 0; i < kTokenLabels; ++i) {
        const int column = (i / kCardRows) * 2;
        const int row = i % kCardRows;
        card->addWidget(labels_[static_cast<std::size_t>(i)], row, column);
        const int box = valueBoxOfLabel(i);
        if (box >= 0) card->addWidget(tokenvalues_[static_cast<std::size_t>(box)], row, column + 1);
    }
    for (int column = 0; column < kTokenLabels / kCardRows; ++column) card->setColumnStretch(column * 2, 1);

    auto* data = new QVBoxLayout;
    data->addWidget(rxdata_);
    data->addWidget(txdata_);
    const int line = rxdata_->fontMetrics().lineSpacing();
    for (QPlainTextEdit* box : {rxdata_, txdata_}) {
        box->setMinimumSize(12 * line, 2 * line);
        box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    }

    auto* lower = new QHBoxLayout;
    lower->addLayout(card, 3);
    lower->addSpacing(8);
    lower->addLayout(data, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addLayout(lower);

    connect(command4_, &QPushButton::clicked, this, [this] { loadCollection(); });
    // A change of the selection (mouse, keys or code) and a pick of the item already selected
    // both count as a click on the list. A user's pick of another item signals both: the
    // activation right after a change is the same click. The mark that says so is set once
    // the handler has returned: a one-click send waits with events running, and a mark set
    // before it would be cleared by then. A change made by code has no activation; its mark
    // is dropped when control is back in the event loop.
    for (int list = 0; list < 2; ++list) {
        QComboBox* combo = list == 0 ? combo1_ : combo2_;
        connect(combo, &QComboBox::currentIndexChanged, this, [this, list](int index) {
            listClicked(list, index);
            listChanged_[list] = true;
            QTimer::singleShot(0, this, [this, list] { listChanged_[list] = false; });
        });
        connect(combo, &QComboBox::activated, this, [this, list](int index) {
            if (listChanged_[list]) {
                listChanged_[list] = false;
                return;
            }
            listClicked(list, index);
        });
    }
}

void WorkspacePanel::listClicked(int list, int index) {
    if (list == 0)
        sampleChosen(index);
    else
        collectionItemChosen(index);
}

void WorkspacePanel::connectHost() {
    for (int i = 0; i < kPresetButtons; ++i) {
        QPushButton* button = host_.cmmd(i);
        if (button) connect(button, &QPushButton::clicked, this, [this, i] { presetClicked(i); });
    }
    for (QWidget* box :
         {static_cast<QWidget*>(host_.commandQueue()), host_.i2cparser(), host_.txbufferbox()}) {
        if (box) mouseTarget(box)->installEventFilter(this);
    }
    if (QWidget* count = host_.tokencount(); count && count->toolTip().isEmpty())
        count->setToolTip(toQt(std::string(kTokenCountTooltip)));
}

void WorkspacePanel::selectInitialItems() {
    {
        const QSignalBlocker blockSamples(combo1_);
        const QSignalBlocker blockList(combo2_);
        combo1_->setCurrentIndex(0);
        combo2_->setCurrentIndex(0);
    }
    sampleChosen(0);
    collectionItemChosen(0);
    setQueue("");
}

void WorkspacePanel::setQueue(const std::string& text) {
    if (QPlainTextEdit* queue = host_.commandQueue()) setBoxText(queue, text);
}

void WorkspacePanel::sampleChosen(int index) {
    if (index < 0 || index >= kSampleCount) return;
    setQueue(sampletext(index));
}

void WorkspacePanel::collectionItemChosen(int index) {
    const std::optional<std::string> script = workspace_->listScript(index);
    if (!script) return;
    setQueue(*script);
    if (oneclick_->isChecked()) host_.compile();
}

void WorkspacePanel::presetClicked(int index) {
    QPushButton* button = host_.cmmd(index);
    if (!button) return;
    const std::optional<std::string> script = workspace_->presetScript(index, fromQt(button->text()));
    if (!script) return;
    setQueue(*script);
    if (oneclick_->isChecked()) host_.compile();
}

void WorkspacePanel::tokenClicked(int index) {
    if (index < 0 || index >= kTokenLabels) return;
    std::array<std::string, kTokenValues> values;
    for (int i = 0; i < kTokenValues; ++i)
        values[static_cast<std::size_t>(i)] = fromQt(tokenvalues_[static_cast<std::size_t>(i)]->text());
    const std::string line = tokenLine(index, values);
    if (line.empty()) return;
    // The click may have applied the zero rule to the box it read.
    for (int i = 0; i < kTokenValues; ++i) {
        QLineEdit* box = tokenvalues_[static_cast<std::size_t>(i)];
        if (fromQt(box->text()) != values[static_cast<std::size_t>(i)])
            box->setText(toQt(values[static_cast<std::size_t>(i)]));
    }
    QPlainTextEdit* queue = host_.commandQueue();
    if (!queue) return;
    if (oneclicktokens_->isChecked()) {
        setBoxText(queue, line);
        host_.compile();
    } else {
        // A last line typed without its line break is ended first, so that the token starts a
        // line of its own instead of running into the typed one.
        const QString current = queue->toPlainText();
        appendBoxText(queue,
                      !current.isEmpty() && !current.endsWith(QLatin1Char('\n')) ? "\r\n" + line : line);
    }
}

void WorkspacePanel::loadCollection() {
    const std::string separator(1, kFileFieldSeparator);
    std::string name;
    std::string filter = "Text files,*.txt";
    const std::string result = fileopendialog("Select command script", name, host_.scriptFolder(), filter, 0);
    const std::string path = getfield(result, 1, separator);
    if (path.empty()) {
        combo2_->setCurrentIndex(0);
        collectionItemChosen(0);
        return;
    }
    // The whole file is read before anything changes, so that a file that cannot be read
    // leaves the presets, the list and the folder as they were.
    Collection collection;
    try {
        collection = readCollection(path);
    } catch (const ConsoleError& error) {
        reportError("File open error", error, 2, 0);
        return;
    }
    host_.setScriptFolder(getfield(result, 2, separator) + "/");
    workspace_->load(collection);
    showCollection();
    if (collection.leftOut > 0) {
        std::string message = "Only the first " + std::to_string(kMaxCollectionScripts) +
                              " scripts of the collection were loaded; " +
                              std::to_string(collection.leftOut) +
                              (collection.leftOut == 1 ? " script was" : " scripts were") + " left out.";
        ShowAlert("Script collection", message, 0, 0, 0);
    }
}

void WorkspacePanel::showCollection() {
    for (int i = 0; i < kPresetButtons; ++i) {
        if (QPushButton* button = host_.cmmd(i)) button->setText(toQt(workspace_->caption(i)));
    }
    QStringList items;
    items.reserve(static_cast<qsizetype>(workspace_->listItems().size()));
    for (const std::string& item : workspace_->listItems()) items.push_back(toQt(item));
    {
        const QSignalBlocker block(combo2_);
        combo2_->clear();
        combo2_->addItems(items);
        combo2_->setCurrentIndex(0);
    }
    collectionItemChosen(0);
}

bool WorkspacePanel::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();

    if (type == QEvent::MouseButtonDblClick) {
        QWidget* queue = host_.commandQueue();
        if (queue && watched == mouseTarget(queue)) {
            setQueue("");
        } else if (QWidget* parser = host_.i2cparser(); parser && watched == mouseTarget(parser)) {
            clearBox(parser);
        } else if (QWidget* txd = host_.txbufferbox(); txd && watched == mouseTarget(txd)) {
            clearBox(txd);
        } else if (watched == mouseTarget(rxdata_) || watched == mouseTarget(txdata_)) {
            rxdata_->clear();
            txdata_->clear();
        } else {
            return QWidget::eventFilter(watched, event);
        }
        return true;
    }

    if (type == QEvent::MouseButtonRelease) {
        for (int i = 0; i < kTokenLabels; ++i) {
            QLabel* label = labels_[static_cast<std::size_t>(i)];
            if (watched != label) continue;
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint()))
                tokenClicked(i);
            return true;
        }
    }

    if (type == QEvent::KeyPress && (watched == combo1_ || watched == combo2_)) {
        // The lists can only be picked from: typed characters do not search them.
        if (typesCharacter(static_cast<QKeyEvent*>(event))) return true;
    }

    for (int i = 0; i < kTokenValues; ++i) {
        QLineEdit* box = tokenvalues_[static_cast<std::size_t>(i)];
        if (watched != box) continue;
        if (type == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (!typesCharacter(key)) break;
            if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) break;  // copy, paste, undo
            const QString text = key->text();
            const char typed = text.size() == 1 ? text.at(0).toLatin1() : 0;
            const char passed = filterValueKey(typed);
            if (passed == 0) return true;
            if (passed == typed) break;
            box->insert(QString(QLatin1Char(passed)));
            return true;
        }
        if (type == QEvent::FocusIn) {
            box->setSelection(0, 5);
            // A mouse click places the cursor after the focus has arrived; select once it has.
            QTimer::singleShot(0, box, [box] {
                if (box->hasFocus()) box->setSelection(0, 5);
            });
        } else if (type == QEvent::FocusOut) {
            std::string value = fromQt(box->text());
            if (applyZeroRule(i, value)) box->setText(toQt(value));
        }
        break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace sarnel
