#include "console/base/ui/showalertform.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTextDocument>
#include <QTextOption>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "console/base/ui/dialogowner.h"
#include "console/base/ui/qtalert.h"

namespace sarnel {

namespace {

// Messages are bytes; the window shows each as the character of the same code.
QString fromBytes(const std::string& bytes) {
    QString text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

}  // namespace

ShowAlertForm::ShowAlertForm(const AlertRequest& request, QWidget* parent) : QDialog(parent) {
    setObjectName("showalertform");
    setWindowTitle(fromBytes(request.caption));
    setModal(true);

    message_ = new QPlainTextEdit(this);
    message_->setObjectName("message");
    message_->setReadOnly(true);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(request.fontSize > 0 ? request.fontSize : kDesignFontSize);
    message_->setFont(font);
    QTextOption option = message_->document()->defaultTextOption();
    option.setAlignment(request.centred ? Qt::AlignHCenter : Qt::AlignLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    message_->document()->setDefaultTextOption(option);
    message_->setPlainText(fromBytes(request.message));
    message_->installEventFilter(this);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName("Command1_0");
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName("Command1_1");
    connect(ok_, &QPushButton::clicked, this, [this] { exitalert(0); });
    connect(cancel_, &QPushButton::clicked, this, [this] { exitalert(1); });

    // Holds the answer; never shown.
    respond_ = new QRadioButton(this);
    respond_->setObjectName("respond");
    respond_->setVisible(false);
    respond_->installEventFilter(this);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(message_);
    layout->addLayout(buttons);
    // The design size, taller where the message needs it (a long message at a large font), so
    // that its last lines show without scrolling, up to two thirds of the screen.
    constexpr int kWidth = 420, kHeight = 220;
    const QMargins margins = layout->contentsMargins();
    QTextDocument measure;
    measure.setDefaultFont(font);
    measure.setDefaultTextOption(option);
    measure.setDocumentMargin(message_->document()->documentMargin());
    measure.setPlainText(message_->toPlainText());
    const int frame = 2 * message_->frameWidth();
    measure.setTextWidth(kWidth - margins.left() - margins.right() - frame -
                         style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    // The plain-text box lays out a little differently from the measuring document: one line
    // to spare.
    const int around = margins.top() + margins.bottom() + layout->spacing() + ok_->sizeHint().height() +
                       frame + message_->fontMetrics().lineSpacing();
    int height = std::max(kHeight, static_cast<int>(std::ceil(measure.size().height())) + around);
    if (const QScreen* screen = this->screen())
        height = std::min(height, screen->availableGeometry().height() * 2 / 3);
    resize(kWidth, height);
}

void ShowAlertForm::exitalert(int index) {
    respond_->setChecked(index == 0);
    hide();
    done(index == 0 ? QDialog::Accepted : QDialog::Rejected);
}

std::int16_t ShowAlertForm::answer() const {
    return respond_->isChecked() ? -1 : 0;
}

void ShowAlertForm::reject() {
    exitalert(1);
}

bool ShowAlertForm::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == message_ || watched == respond_) && event->type() == QEvent::KeyPress) {
        if (static_cast<QKeyEvent*>(event)->text() == QStringLiteral("6")) {
            exitalert(0);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

std::int16_t QtAlertPresenter::present(const AlertRequest& request) {
    if (request.beep) QApplication::beep();
    // No owner of its own, unless a window opened over the main window has taken the dialogs
    // over: then the alert belongs to that window.
    ShowAlertForm form(request, dialogowner());
    form.exec();
    return form.answer();
}

void installQtAlert() {
    static QtAlertPresenter presenter;
    setAlertPresenter(&presenter);
}

}  // namespace sarnel
