#include "console/bootloader/bootconsole.h"

#include "console/base/alert.h"
#include "console/base/filedialog.h"
#include "console/base/serialcontrol.h"
#include "console/base/textroutines.h"

namespace sarnel::boot {

std::string& hexfolder() {
    static std::string folder;
    return folder;
}

std::string& scansettings() {
    static std::string settings = kPortSettings;
    return settings;
}

BootConsole::BootConsole(BootConsoleView& view, ConsoleState& state, std::unique_ptr<SerialControl> rs232,
                         SerialFactory scanFactory, ScanProgress* progress)
    : view_(view),
      state_(state),
      rs232_(std::move(rs232)),
      loader_(*rs232_, view),
      scanner_(state, std::move(scanFactory), progress) {}

BootConsole::~BootConsole() {
    rs232_->close();
}

void BootConsole::portscanx() {
    rs232_->close();
    loader_.setPortOpen(false);
    ScanRequest request;  // no expected reply: every port that opens is listed
    request.settings = scansettings();
    view_.frame(request.left, request.width, request.top, request.height);
    const ScanResult found = scanner_.scan(request);
    ports_.clear();
    for (const ScannedPort& port : found.ports) ports_.push_back(port.name);
    view_.setPortList(ports_);
    selectNoPort();
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        if (state_.adapterport.empty() || ports_[i] != state_.adapterport) continue;
        view_.showPortEntry(static_cast<int>(i) + 1);
        portselected(static_cast<int>(i) + 1);
        break;
    }
}

void BootConsole::selectNoPort() {
    view_.showPortEntry(0);
    portselected(0);
}

void BootConsole::portselected(int index) {
    try {
        if (index > 0 && index <= static_cast<int>(ports_.size())) {
            selected_ = index;
            loader_.setPortOpen(true);
            rs232_->close();
            rs232_->open(ports_[static_cast<std::size_t>(index - 1)], view_.baudText() + ",n,8,1");
            rs232_->setBreak(0);
            rs232_->clearRQ();
            rs232_->clearTQ();
        } else {
            selected_ = 0;
            rs232_->close();
            loader_.setPortOpen(false);
        }
    } catch (const ConsoleError& e) {
        reportError("PortSelect error", e, 2, 0);
        rs232_->close();
        loader_.setPortOpen(false);
        selected_ = 0;
        view_.showPortEntry(0);
    }
}

void BootConsole::portkey(int character) {
    if (character == 13) portscanx();
}

void BootConsole::baudselected() {
    if (loaded_) selectNoPort();
}

bool BootConsole::needPort() {
    if (loader_.portOpen()) return true;
    view_.beep();
    view_.setErrorList(kSelectPort);
    return false;
}

void BootConsole::command(const char* frame) {
    view_.setText(Field::rxbufferbox, "---");
    loader_.comwrite(std::string(frame) + CR, 10);
}

void BootConsole::writesequence(bool fromApp) {
    std::string defaultName;
    std::string filter = "Hex files,*.hex";
    const std::string chosen = fileopendialog("Select Hex file to load", defaultName, hexfolder(), filter, 0);
    if (chosen.empty()) return;
    hexfolder() = getfield(chosen, 2, std::string(1, kFileFieldSeparator));
    loader_.write(chosen, fromApp);
}

void BootConsole::cmmdclick(int index) {
    view_.clearProgress();
    switch (index) {
        case kAppToBoot:
        case kAppWrite:
        case kBootWrite: {
            if (!needPort()) return;
            view_.setButtonsEnabled(false);
            running_ = true;
            if (index == kAppToBoot)
                loader_.apptoboot();
            else
                writesequence(index == kAppWrite);
            running_ = false;
            view_.setButtonsEnabled(true);
            return;
        }
        case kResetNow:
            command("$0007");
            return;
        case kRescan:
            portscanx();
            return;
        case kPing:
            command("$0000");
            return;
        case kResetCause:
            command("$0006");
            return;
        case kCancel:
            loader_.abort();
            return;
        default:
            return;
    }
}

void BootConsole::closing() {
    // A run waiting in the middle of a step sees the abort flag at its next pass and ends as
    // by Cancel; with the port closed nothing more reaches the adapter.
    loader_.abort();
    rs232_->close();
    loader_.setPortOpen(false);
    loaded_ = false;
}

}  // namespace sarnel::boot
