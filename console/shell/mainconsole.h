// The main window's logic without its widgets: the port list, the command buttons and the
// settings lines, over the link to the adapter. The Qt window implements ConsoleView and
// calls this; sarnel-cli and the tests drive the same code through a view of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console/base/consolestate.h"
#include "console/base/statusline.h"
#include "console/link/adapterlink.h"
#include "console/link/consoleview.h"
#include "console/responses/portpresence.h"
#include "console/responses/portscan.h"
#include "console/shell/settingsfile.h"

namespace sarnel {

// What the status bar says after a scan for adapters that found none, and its tooltip.
inline constexpr const char* kNoAdapterFound =
    "No adapter found: plug it in, check the permissions, or press Space in the port list to scan all ports";
inline constexpr const char* kNoAdapterFoundTip =
    "No port answered as an adapter. Plug the adapter in (it is found at once), make sure you may use "
    "serial ports (the group that owns them, often dialout, or the rule sarnel-cli udev-rule prints), "
    "or press Space in "
    "the port list to list every port that opens.";

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
    // Entry `index`'s tooltip (1 for the first port): its device path, product and serial
    // number. Empty for "Select..." and beyond the list.
    std::string porttooltip(int index) const;
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

    // --- The status bar, hot-plug, the remembered adapter ----------------------------------
    // The status bar's texts: the open port ("No adapter selected" when none), what last
    // happened to it.
    StatusLine& status() { return status_; }
    // Watches ports through `presence` from now on (the window serves its descriptor), and
    // names ports with its settings. Without it nothing is watched.
    void watchports(std::unique_ptr<PortPresence> presence);
    PortPresence* presence() { return presence_.get(); }
    // The watcher's descriptor is readable. When the open adapter has gone: the port list back
    // at "Select...", the port closed, the flag cleared, and the status bar says so. When an
    // adapter lost so comes back with its serial number and reconnect() is on, the ports are
    // scanned again and it is reopened. Nothing sent before is sent again.
    void portschanged();
    // "Reconnect automatically".
    bool reconnect() const { return reconnect_; }
    void setReconnect(bool on) { reconnect_ = on; }
    // Start-up, after the first scan: selects and opens the port the console last had open,
    // when it is listed. Its name is kept in the state for the bootloader window.
    void openremembered();
    // Exit: records the open port in the per-user file (by its serial number, else its path).
    // False with `problem` set when the file could not be written.
    bool rememberport(std::string* problem = nullptr);

    // --- Settings -------------------------------------------------------------------------
    SettingsLines& settings() { return settings_; }
    std::string& scriptfolder() { return scriptfolder_; }
    // Start-up's steps 7 and 8, shutdown's save: the file at `path`.
    void loadsettings(const std::string& path);
    void savesettings(const std::string& path);

private:
    void closeport();
    // After a failed call of the control: as closing, but the port counts as lost.
    void dropport();
    // Reopens the lost adapter after it came back (scan, select, open).
    void reopenlost();
    const serial::NameSettings& names() const { return presence_ ? presence_->names() : names_; }
    void showport();

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
    StatusLine status_;
    serial::NameSettings names_ = serial::environmentNames();
    std::unique_ptr<PortPresence> presence_;
    bool reconnect_ = true;
    bool reopening_ = false;
    std::vector<std::string> tooltips_;  // per entry of ports_
};

}  // namespace sarnel
