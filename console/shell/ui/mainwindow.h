// The main window `main`: port and adapter buttons on top, the command queue with TXD and
// RXD beside the bus activity list, the preset buttons and the script workspace below. It
// holds the controls and hands every action to MainConsole.
#pragma once

#include <QTextCursor>
#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "console/base/consolestate.h"
#include "console/command/ui/workspacehost.h"
#include "console/responses/decoder.h"
#include "console/shell/mainconsole.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QSocketNotifier;
class QTextBrowser;
class QToolButton;

namespace sarnel {

class BenchTools;
class HelpBox;
class PortScanForm;
class StatusBar;
class WorkspacePanel;

// The bus activity list as the decoder sees it: appends go to the end of the text and never
// rewrite what is already there.
class ActivityList final : public BusActivity {
public:
    // The list keeps no undo history: it only grows and is cleared, and a history of every
    // append would grow with it.
    ActivityList(QPlainTextEdit* list, QLineEdit* rxd, QCheckBox* continuous);
    void clear() override;
    void append(std::string_view text) override;
    void setRxd(std::string_view text) override;
    bool continuousRx() override;

private:
    QPlainTextEdit* list_;
    QLineEdit* rxd_;
    QCheckBox* continuous_;
    QTextCursor end_;  // kept at the end of the list between appends
};

class MainWindow final : public QWidget, public ConsoleView, public WorkspaceHost {
    Q_OBJECT
public:
    // `makeRs232` makes the window's control and the scan window's control. The console's
    // state outlives the window.
    MainWindow(ConsoleState& state, SerialFactory makeRs232, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Form_Load: caption, the port list's tooltip, the scan, the workspace's first
    // items, the design size, the settings file. `settingsPath` empty: the usual place.
    void startup(const std::string& settingsPath = {});

    MainConsole& console() { return *console_; }
    // Watches ports through `presence` instead (tests hand in one of their own): its
    // descriptor is served from the event loop.
    void watchports(std::unique_ptr<PortPresence> presence);
    StatusBar* statusBar() const { return statusbar_; }
    QCheckBox* reconnectBox() const { return reconnect_; }
    const std::string& settingsPath() const { return settingsPath_; }
    int helpDocument() const { return helpdoc_; }

    // Command5_Click(index): 1 Help, 2 Version.
    void command5click(int index);

    // ConsoleView.
    void setTxd(const std::string& text) override;
    void setRxd(const std::string& text) override;
    BusActivity& activity() override { return *activity_; }
    std::string queueText() override;
    void setTokenCount(const std::string& text) override;
    void setPortList(const std::vector<std::string>& names) override;
    void showPortEntry(int index) override;
    void frame(std::int32_t& left, std::int32_t& width, std::int32_t& top, std::int32_t& height) override;
    void showBootloader(std::string& hexFolder) override;

    // WorkspaceHost.
    QPlainTextEdit* commandQueue() override { return commands_; }
    QPushButton* cmmd(int index) override;
    QWidget* i2cparser() override;
    QWidget* txbufferbox() override;
    QWidget* tokencount() override;
    std::string scriptFolder() override { return console_->scriptfolder(); }
    void setScriptFolder(const std::string& folder) override { console_->scriptfolder() = folder; }
    void compile() override { console_->link().compile(); }
    WorkspacePanel* workspace() const { return workspace_; }
    // The "Workbench" menu's tools and the keyboard shortcuts.
    BenchTools& tools() { return *tools_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    QPushButton* makeButton(int index, QWidget* parent);

    QWidget* content_ = nullptr;      // every control, in the scroll area
    StatusBar* statusbar_ = nullptr;  // below the scroll area
    QCheckBox* reconnect_ = nullptr;  // "Reconnect automatically", in the status bar
    QSocketNotifier* portwatch_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    std::unique_ptr<PortScanForm> scanform_;
    std::unique_ptr<MainConsole> console_;
    std::unique_ptr<ActivityList> activity_;
    QComboBox* portselect_ = nullptr;
    QLineEdit* txbufferbox_ = nullptr;
    QLineEdit* rxbufferbox_ = nullptr;
    QPlainTextEdit* i2cparser_ = nullptr;
    QPlainTextEdit* commands_ = nullptr;
    QCheckBox* continuousrx_ = nullptr;
    QLineEdit* tokencount_ = nullptr;
    std::array<QPushButton*, 32> cmmd_{};
    QPushButton* compileButton_ = nullptr;
    std::array<QPushButton*, 3> command5_{};
    HelpBox* helpbox_ = nullptr;
    QToolButton* toolsButton_ = nullptr;
    BenchTools* tools_ = nullptr;
    WorkspacePanel* workspace_ = nullptr;
    std::string settingsPath_;
    QSize designSize_;
    int helpdoc_ = 0;
    bool closing_ = false;
};

}  // namespace sarnel
