#include "console/shell/mainconsole.h"

#include "console/base/alert.h"
#include "console/base/timing.h"
#include "console/command/frames.h"

namespace sarnel {

std::string& rxbuffer() {
    static std::string buffer;
    return buffer;
}

void ConsoleView::reportDeniedPorts(const std::vector<DeniedPort>& denied) {
    std::string message = deniedmessage(denied);
    ShowAlert("Serial port access", message, 0, 1, 0);
}

MainConsole::MainConsole(ConsoleView& view, std::unique_ptr<SerialControl> rs232, SerialFactory scanFactory,
                         ScanProgress* progress)
    : view_(view), rs232_(std::move(rs232)), scanner_(std::move(scanFactory), progress) {
    rs232_->setLineHandler([this] { linereceived(); });
}

MainConsole::~MainConsole() {
    rs232_->setLineHandler(nullptr);
    rs232_->close();
}

void MainConsole::closeport() {
    rs232_->close();
    portopen() = 0;
}

void MainConsole::selectNoPort() {
    selected_ = 0;
    view_.showPortEntry(0);
    portselected(0);
}

void MainConsole::portscanx(std::int16_t mode) {
    rs232_->close();
    std::int32_t left, width, top, height;
    view_.frame(left, width, top, height);
    PortTable table;
    std::string expected = mode != 0 ? kAdapterReplies : "";
    std::string settings = kPortSettings;
    std::int16_t maxport = 1000;
    scanner_.portscan(table, expected, settings, maxport, left, width, top, height);

    ports_.clear();
    const int n = portcount(table);
    for (int i = 1; i <= n; ++i) ports_.push_back(table[static_cast<std::size_t>(i)]);
    view_.setPortList(ports_);
    selectNoPort();

    // The same ports closed to this user are named once, not after every rescan.
    std::string denied;
    for (const DeniedPort& d : scanner_.denied()) denied += d.name + ";";
    if (!denied.empty() && denied != lastDenied_) view_.reportDeniedPorts(scanner_.denied());
    lastDenied_ = denied;
}

bool MainConsole::openport(const std::string& name) {
    try {
        rs232_->close();
        portopen() = -1;
        rs232_->open(name, kPortSettings);
        rs232_->setBreak(0);
        rs232_->clearRQ();
        rs232_->clearTQ();
        return true;
    } catch (const ConsoleError& error) {
        reportError("PortSelect error", error, 2, 12);
        closeport();
        selectNoPort();
        return false;
    }
}

void MainConsole::portselected(int index) {
    if (index <= 0 || index > static_cast<int>(ports_.size())) {
        selected_ = 0;
        if (portopen() != 0) closeport();
        return;
    }
    selected_ = index;
    openport(ports_[static_cast<std::size_t>(index - 1)]);
}

bool MainConsole::portkey(int character) {
    if (character == 13) portscanx(1);
    if (character == 32) portscanx(0);
    return character == 13 || character >= 32;
}

void MainConsole::cmmdclick(int index) {
    const std::optional<CommandButton> button = commandbutton(index);
    if (!button) return;
    switch (button->action) {
        case ButtonAction::Preset:
            return;
        case ButtonAction::Frames:
            for (std::string_view frame : button->frames) sendframe(std::string(frame), kButtonPause);
            return;
        case ButtonAction::Update: {
            closeport();
            selectNoPort();
            processEvents();
            std::string hexFolder = settings_[2];
            view_.showBootloader(hexFolder);
            settings_[2] = hexFolder;
            return;
        }
        case ButtonAction::Rescan:
            portscanx(1);
            return;
        case ButtonAction::Compile:
            compilequeue();
            return;
    }
}

void MainConsole::compilequeue() {
    compile(*this);
}

void MainConsole::decode() {
    process(kProcessAll, "", view_.activity(), sarnel::rxbuffer());
}

void MainConsole::loadsettings(const std::string& path) {
    settingsfile("load", path, settings_);
    scriptfolder_ = settings_[1];
}

void MainConsole::savesettings(const std::string& path) {
    settings_[1] = scriptfolder_;
    settingsfile("save", path, settings_);
}

}  // namespace sarnel
