// The bootloader window's logic without its widgets: the port list and baud rate, the
// buttons with their enabling, the file choice, and closing during a run. The Qt window
// (ui/quorblcform.h) implements BootConsoleView and forwards its events here.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console/bootloader/bootloader.h"
#include "console/bootloader/bootview.h"
#include "console/responses/portscan.h"

namespace sarnel::boot {

// Console-wide values the window uses and that outlive it: the folder the HEX file dialog
// opens in (replaced by the folder of every file chosen), and the serial settings of the
// window's port scan.
std::string& hexfolder();
std::string& scansettings();

// The entries of `baudrateselect`; entry 15 ("115200") is selected when the window loads.
inline constexpr std::array<const char*, 16> kBaudRates{"300",   "600",   "1200",  "2400",  "3600",  "4800",
                                                        "9600",  "14400", "19200", "24000", "28800", "33600",
                                                        "38400", "57600", "86400", "115200"};
inline constexpr int kDefaultBaudEntry = 15;

// The window's buttons, by their `cmmd` index.
enum Button : int {
    kAppToBoot = 0,
    kAppWrite = 1,
    kBootWrite = 2,
    kResetNow = 3,
    kRescan = 4,
    kPing = 5,
    kResetCause = 6,
    kCancel = 255,
};

class BootConsoleView : public BootView {
public:
    // Refills `portselect`: "Select..." and then `names`.
    virtual void setPortList(const std::vector<std::string>& names) = 0;
    // Shows entry `index` of `portselect` as selected, without running its handler.
    virtual void showPortEntry(int index) = 0;
    // The text of the selected `baudrateselect` entry.
    virtual std::string baudText() = 0;
    // Enabled state of cmmd(0) to cmmd(6); Cancel and the two lists stay enabled.
    virtual void setButtonsEnabled(bool enabled) = 0;
    // The window's frame (left, width, top, height), for centring the scan window.
    virtual void frame(std::int32_t& left, std::int32_t& width, std::int32_t& top, std::int32_t& height) {
        left = width = top = height = 0;
    }
};

class BootConsole {
public:
    // `rs232`: the window's control; `scanFactory` makes the control the port scan uses;
    // `progress` (may be null) is the scan window. The view, the console's state and progress
    // outlive this.
    BootConsole(BootConsoleView& view, ConsoleState& state, std::unique_ptr<SerialControl> rs232,
                SerialFactory scanFactory, ScanProgress* progress = nullptr);
    ~BootConsole();
    BootConsole(const BootConsole&) = delete;
    BootConsole& operator=(const BootConsole&) = delete;

    BootLoader& loader() { return loader_; }
    SerialControl& rs232() { return *rs232_; }

    // The loaded flag: set when the window has finished loading, cleared when it closes.
    void setLoaded(bool loaded) { loaded_ = loaded; }
    bool loaded() const { return loaded_; }

    // Closes the port, scans every port that opens (no reply expected), refills the list and
    // selects "Select...", or, when it is listed, the main window's adapter (the state's
    // `adapterport`), which is then opened.
    void portscanx();
    // The port list's selection handler: entry 0 closes the port; another entry opens that
    // port at the selected baud rate ("<baud>,n,8,1"), clears the break and both queues. A
    // failure: the "PortSelect error" alert, port closed, list back on "Select...".
    void portselected(int index);
    // Selects "Select..." and runs the handler (the port closes).
    void selectNoPort();
    // A key pressed in the port list: Enter (13) rescans. Every key is then discarded.
    void portkey(int character);
    // A click on the baud list: once loaded, the port closes and "Select..." is shown; the
    // user picks the port again to open it at the new rate.
    void baudselected();
    // cmmd_Click(index).
    void cmmdclick(int index);
    // The window is closing: a run that is waiting ends as by Cancel, the port is closed and
    // the loaded flag cleared. Closing is never refused.
    void closing();

    bool running() const { return running_; }
    const std::vector<std::string>& ports() const { return ports_; }
    int selectedPort() const { return selected_; }

private:
    bool needPort();
    void writesequence(bool fromApp);
    void command(const char* frame);

    BootConsoleView& view_;
    ConsoleState& state_;
    std::unique_ptr<SerialControl> rs232_;
    BootLoader loader_;
    PortScanner scanner_;
    std::vector<std::string> ports_;
    int selected_ = 0;
    bool loaded_ = false;
    bool running_ = false;
};

}  // namespace sarnel::boot
