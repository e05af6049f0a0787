// The main window's logic without its widgets: the port list, the command buttons and the
// settings lines, over the link to the adapter. The Qt window implements ConsoleView and
// calls this; sarnel-cli and the tests drive the same code through a view of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console/base/consolestate.h"
#include "console/link/adapterlink.h"
#include "console/link/consoleview.h"
#include "console/responses/portscan.h"
#include "console/shell/settingsfile.h"

namespace sarnel {

class MainConsole final {
public:
    // `rs232`: the window's control; `scanFactory` makes the scan window's control; `progress`
    // (may be null) is the scan window. The view, the state and the progress window outlive
    // this.
    MainConsole(ConsoleView& view, ConsoleState& state, std::unique_ptr<SerialControl> rs232,
                SerialFactory scanFactory, ScanProgress* progress = nullptr);
    ~MainConsole();
    MainConsole(const MainConsole&) = delete;
    MainConsole& operator=(const MainConsole&) = delete;

    // --- Port list ------------------------------------------------------------------------
    // Closes the port, scans (mode nonzero: the adapters; 0: every port that opens), refills
    // the list and selects "Select...". No port is open afterwards.
    void portscanx(std::int16_t mode);
    // The selection handler: entry 0 ("Select...") closes an open port; another entry opens
    // its port with "115200,n,8,1", clears the break and both queues and sets the port-open
    // flag. A failure shows "PortSelect error" and returns the list to "Select...".
    void portselected(int index);
    // Puts the port list back at "Select..." and runs its selection handler.
    void selectNoPort();
    // Opens the port of this name as choosing it in the list does; false after a failure
    // (the alert has been shown). The name need not be in the list.
    bool openport(const std::string& name);
    // The key handler: Enter rescans for adapters, Space scans every port. True when the key
    // is a character key, which the list must then discard.
    bool portkey(int character);
    // The list's entries after "Select...", and the current selection.
    const std::vector<std::string>& ports() const { return ports_; }
    int selectedPort() const { return selected_; }
    // What the last scan found: each port with its device path, and the ports closed to
    // this user.
    const ScanResult& lastscan() const { return lastscan_; }
    PortScanner& scanner() { return scanner_; }

    // --- Buttons --------------------------------------------------------------------------
    // cmmd_Click(index): the fixed frames (18 to 27, 29), "Update" (28), "Rescan" (30),
    // "Compile/Transmit" (255). Preset buttons 0 to 17 belong to the workspace: nothing here.
    void cmmdclick(int index);

    // --- The link to the adapter ----------------------------------------------------------
    // ComWrite, charreceived (the window control's EvtCharReceived) and compile.
    AdapterLink& link() { return link_; }
    SerialControl& rs232() { return *rs232_; }
    ConsoleState& state() { return state_; }

    // --- Settings -------------------------------------------------------------------------
    SettingsLines& settings() { return settings_; }
    std::string& scriptfolder() { return scriptfolder_; }
    // Start-up's steps 7 and 8, shutdown's save: the file at `path`.
    void loadsettings(const std::string& path);
    void savesettings(const std::string& path);

private:
    void closeport();

    ConsoleView& view_;
    ConsoleState& state_;
    std::unique_ptr<SerialControl> rs232_;
    AdapterLink link_;
    PortScanner scanner_;
    std::vector<std::string> ports_;
    int selected_ = 0;
    ScanResult lastscan_;
    SettingsLines settings_;
    std::string scriptfolder_;
    std::string lastDenied_;
};

}  // namespace sarnel
