#include "console/shell/mainconsole.h"

#include <serial/portmemory.h>

#include "console/base/alert.h"
#include "console/base/timing.h"
#include "console/command/frames.h"

namespace sarnel {

MainConsole::MainConsole(ConsoleView& view, ConsoleState& state, std::unique_ptr<SerialControl> rs232,
                         SerialFactory scanFactory, ScanProgress* progress)
    : view_(view),
      state_(state),
      rs232_(std::move(rs232)),
      link_(view, *rs232_, state, [this] { dropport(); }),
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
    if (presence_) presence_->closed();
    showport();
}

void MainConsole::dropport() {
    if (presence_) presence_->failed();
    selectNoPort();
}

void MainConsole::showport() {
    if (state_.portopen == 0 || !presence_ || presence_->open().empty()) {
        status_.set(StatusSegment::port, {StatusLine::kNoAdapter, {}});
        return;
    }
    const OpenPort& port = presence_->open();
    status_.set(StatusSegment::port, {porttext(port), porttip(port.path, port.info)});
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
    tooltips_.clear();
    for (const ScannedPort& port : lastscan_.ports) {
        ports_.push_back(port.name);
        const OpenPort found = identifyport(port.name, names());
        tooltips_.push_back(porttip(found.path.empty() ? port.path : found.path, found.info));
    }
    view_.setPortList(ports_);
    selectNoPort();

    // The same ports closed to this user are named once, not after every rescan.
    std::string denied;
    for (const DeniedPort& d : lastscan_.denied) denied += d.name + ";";
    if (!denied.empty() && denied != lastDenied_) view_.reportDeniedPorts(lastscan_.denied);
    lastDenied_ = denied;
    // No adapter: say what to try. A later scan that finds one takes the advice away.
    const std::string& event = status_.text(StatusSegment::event);
    if (mode != 0 && ports_.empty())
        status_.set(StatusSegment::event, {kNoAdapterFound, kNoAdapterFoundTip});
    else if (event == kNoAdapterFound)
        status_.set(StatusSegment::event, {});
    // A damaged or read-only file of port numbers: USB ports keep their table names meanwhile.
    if (!lastscan_.namesProblem.empty()) status_.set(StatusSegment::event, {lastscan_.namesProblem, {}});
}

bool MainConsole::openport(const std::string& name) {
    try {
        rs232_->close();
        state_.portopen = -1;
        rs232_->open(name, kPortSettings);
        rs232_->setBreak(0);
        rs232_->clearRQ();
        rs232_->clearTQ();
        state_.adapterport = name;
        if (presence_) presence_->opened(name);
        status_.set(StatusSegment::event, {});
        showport();
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

std::string MainConsole::porttooltip(int index) const {
    if (index <= 0 || index > static_cast<int>(tooltips_.size())) return {};
    return tooltips_[static_cast<std::size_t>(index - 1)];
}

void MainConsole::watchports(std::unique_ptr<PortPresence> presence) {
    presence_ = std::move(presence);
    if (presence_ && state_.portopen != 0 && selected_ > 0)
        presence_->opened(ports_[static_cast<std::size_t>(selected_ - 1)]);
    showport();
}

void MainConsole::portschanged() {
    if (!presence_) return;
    const PortPresence::Change change = presence_->take();
    // The reopening's own scan serves events: the same return seen again changes nothing.
    if (reopening_ && change == PortPresence::Change::returned) return;
    switch (change) {
        case PortPresence::Change::none:
            return;
        case PortPresence::Change::unplugged: {
            const OpenPort& lost = presence_->lost();
            std::string text = unpluggedtext(lost);
            text[0] = 'T';  // a sentence of its own in the bar
            if (lost.identified()) text += reconnect_ ? ": it is reopened when it comes back" : "";
            if (state_.portopen != 0) {
                // The failure path of a failed call, without its alert: the bar says it.
                closeport();
                selectNoPort();
            }
            status_.set(StatusSegment::event, {text, porttip(lost.path, lost.info)});
            return;
        }
        case PortPresence::Change::returned:
            if (state_.portopen != 0) {
                // Another port was chosen meanwhile: that one stays.
                presence_->forgetlost();
            } else if (reconnect_) {
                reopenlost();
            } else {
                status_.set(StatusSegment::event,
                            {"The adapter that was on " + presence_->lost().name +
                                 " is back: press Enter in the port list to scan, then choose it",
                             {}});
            }
            return;
    }
}

void MainConsole::reopenlost() {
    const OpenPort lost = presence_->lost();
    reopening_ = true;
    portscanx(1);
    reopening_ = false;
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        const OpenPort found = identifyport(ports_[i], names());
        if (!found.identified() || found.info->identity() != lost.info->identity()) continue;
        selected_ = static_cast<int>(i) + 1;
        view_.showPortEntry(selected_);
        if (openport(ports_[i])) {
            status_.set(StatusSegment::event,
                        {"The adapter " + ports_[i] + " is back and has been opened again", {}});
        }
        return;
    }
    // Back, but it does not answer (yet) as an adapter: the user decides.
    presence_->forgetlost();
    status_.set(StatusSegment::event,
                {"The adapter that was on " + lost.name + " is back but did not answer the scan", {}});
}

void MainConsole::openremembered() {
    const serial::RememberedPort last = serial::PortMemory::read(names().stateDir).last();
    if (last.empty()) return;
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        const OpenPort found = identifyport(ports_[i], names());
        const bool same = last.identity.serial.empty()
                              ? !found.path.empty() && found.path == last.path
                              : found.identified() && found.info->identity() == last.identity;
        if (!same) continue;
        selected_ = static_cast<int>(i) + 1;
        view_.showPortEntry(selected_);
        openport(ports_[i]);
        return;
    }
}

bool MainConsole::rememberport(std::string* problem) {
    if (state_.portopen == 0 || state_.adapterport.empty()) return true;
    const OpenPort port = identifyport(state_.adapterport, names());
    serial::RememberedPort remembered;
    if (port.identified())
        remembered.identity = port.info->identity();
    else if (!port.path.empty())
        remembered.path = port.path;
    else
        return true;  // a name that leads to no device (an in-memory pair's end)
    return serial::updatePortMemory(
        names().stateDir,
        [&](serial::PortMemory& memory) {
            if (memory.last().identity == remembered.identity && memory.last().path == remembered.path)
                return false;
            memory.setLast(remembered);
            return true;
        },
        problem);
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
