// The alert window: a caption, a message and the buttons OK and Cancel, shown modally by the
// alert presenter. Pressing the digit 6 in the message answers OK.
#pragma once

#include <QDialog>

#include "console/base/alert.h"

class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace sarnel {

class ShowAlertForm : public QDialog {
    Q_OBJECT
public:
    // The window's own size for messages when the request asks for none.
    static constexpr int kDesignFontSize = 10;

    explicit ShowAlertForm(const AlertRequest& request, QWidget* parent = nullptr);

    // Ends the dialog with answer `index`: 0 is OK, 1 is Cancel.
    void exitalert(int index);
    // -1 after OK, 0 after Cancel or when the window was closed from its title bar.
    std::int16_t answer() const;

    void reject() override;  // Escape and the title bar's close: Cancel

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* message_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QRadioButton* respond_;
};

// Shows every alert in a ShowAlertForm, beeping where the request says so.
class QtAlertPresenter final : public AlertPresenter {
public:
    std::int16_t present(const AlertRequest& request) override;
};

}  // namespace sarnel
