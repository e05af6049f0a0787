#include "console/shell/mainconsole.h"

#include "console/base/alert.h"
#include "console/base/timing.h"
#include "console/command/frames.h"

namespace sarnel {

MainConsole::MainConsole(ConsoleView& view, ConsoleState& state, std::unique_ptr<SerialControl> rs232,
                         SerialFactory scanFactory, ScanProgress* progress)
    : view_(view),
      state_(state),
      rs232_(std::move(rs232)),
      link_(view, *rs232_, state, [this] { selectNoPort(); }),
      scanner_(state, std::move(scanFactory), progress) {
    rs232_->setLineHandler([this] { link_.charreceived(); });
}

MainConsole::~MainConsole() {
    rs232_->setLineHandler(nullptr);
    rs232_->close();
}

void MainConsole::closeport() {
    rs232_->close();
    state_.portopen = 0;
}

void MainConsole::selectNoPort() {
    selected_ = 0;
    view_.showPortEntry(0);
    portselected(0);
}

void MainConsole::portscanx(std::int16_t mode) {
    rs232_->close();
    ScanRequest request;
    request.expected = mode != 0 ? kAdapterReplies : "";
    view_.frame(request.left, request.width, request.top, request.height);
    lastscan_ = scanner_.scan(request);

    ports_.clear();
    for (const ScannedPort& port : lastscan_.ports) ports_.push_back(port.name);
    view_.setPortList(ports_);
    selectNoPort();

    // The same ports closed to this user are named once, not after every rescan.
    std::string denied;
    for (const DeniedPort& d : lastscan_.denied) denied += d.name + ";";
    if (!denied.empty() && denied != lastDenied_) view_.reportDeniedPorts(lastscan_.denied);
    lastDenied_ = denied;
}

bool MainConsole::openport(const std::string& name) {
    try {
        rs232_->close();
        state_.portopen = -1;
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
        if (state_.portopen != 0) closeport();
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
            for (std::string_view frame : button->frames) link_.ComWrite(std::string(frame), kButtonPause);
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
            link_.compile();
            return;
    }
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
