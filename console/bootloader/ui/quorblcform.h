// The firmware bootloader window `QuorBLCForm`: its controls (named as the console names
// them, so tests find them by objectName) over BootConsole, which holds the logic.
#pragma once

#include <QTimer>
#include <QWidget>
#include <array>
#include <map>
#include <optional>

#include "console/bootloader/bootconsole.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace sarnel::boot {

class ProgressBox;

class QuorBLCForm final : public QWidget, public BootConsoleView {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Quor Boot Loader Controller";

    // Loads the window: the controls in their design-time state, the caption with the version
    // text after a space, baud rate 115200, then the loaded flag. `rs232` is the window's
    // control, `scanFactory` makes the control of the port scan; the console's state outlives
    // the window.
    QuorBLCForm(ConsoleState& state, const std::string& versionText, std::unique_ptr<SerialControl> rs232,
                SerialFactory scanFactory, QWidget* parent = nullptr);
    ~QuorBLCForm() override;

    BootConsole& console() { return *console_; }
    // The port scan of the window (also "Rescan" and Enter in the port list).
    void portscanx() { console_->portscanx(); }
    // Puts the window's frame at `topLeft` (moved onto its screen as far as needed), at the
    // design size or less where that screen is smaller.
    void placeAt(QPoint topLeft);
    // The fill of the progress bar, 0 to 100; -1 when clear.
    double progress() const;

    // BootView
    std::string text(Field field) override;
    void setText(Field field, const std::string& value) override;
    void setResponseColour(Rgb colour) override;
    std::string errorList() override;
    void setErrorList(const std::string& value) override;
    void prependError(const std::string& line) override;
    bool showProgress() override;
    bool runWithErrors() override;
    void clearProgress() override;
    void drawProgress(double percent) override;
    void beep() override;
    void selectNoPort() override;
    // BootConsoleView
    void setPortList(const std::vector<std::string>& names) override;
    void showPortEntry(int index) override;
    std::string baudText() override;
    void setButtonsEnabled(bool enabled) override;
    void frame(std::int32_t& left, std::int32_t& width, std::int32_t& top, std::int32_t& height) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* field(Field f) const { return fields_.at(f); }
    // Shows the field texts and colour held back during a run.
    void flush();

    QWidget* canvas_ = nullptr;  // the controls at their designed places
    std::map<Field, QLineEdit*> fields_;
    std::map<int, QPushButton*> cmmd_;
    QCheckBox* showprogress_;
    QCheckBox* runwitherrors_;
    ProgressBox* progressp_;
    QPlainTextEdit* errorlist_;
    QComboBox* portselect_;
    QComboBox* baudrateselect_;
    std::unique_ptr<BootConsole> console_;
    // During a run the fields change once a line, hundreds of times a second: the texts are
    // kept here (and read back from here) and shown at most every kRefreshMs, so painting does
    // not cost more than the line itself. Outside runs every change is shown at once.
    static constexpr int kRefreshMs = 20;
    bool deferring_ = false;
    std::map<Field, QString> pending_;
    std::optional<QColor> pendingColour_;
    QTimer refresh_;
};

// The factory of the serial controls showbootloader gives the window (its rs232 and the
// port scan's control): createRs232 unless replaced (tests put a control of their own here;
// an empty factory restores createRs232).
void setBootSerialFactory(SerialFactory factory);

// The bootloader window while showbootloader shows it; null otherwise.
QuorBLCForm* shownBootloader();

}  // namespace sarnel::boot
