// The main window's logic without its widgets: the port list, the write and receive paths,
// the command buttons, compile and the settings lines. The Qt window implements ConsoleView
// and calls this; sarnel-cli and the tests drive the same code through a view of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console/command/compiler.h"
#include "console/command/writepath.h"
#include "console/responses/decoder.h"
#include "console/responses/portscan.h"
#include "console/responses/receivepath.h"
#include "console/shell/settingsfile.h"

namespace sarnel {

// The main window's receive buffer `rxbuffer`.
std::string& rxbuffer();

// What the logic shows; the window maps each call onto its controls.
class ConsoleView {
public:
    virtual ~ConsoleView() = default;
    virtual void setTxd(const std::string& text) = 0;  // txbufferbox
    virtual void setRxd(const std::string& text) = 0;  // rxbufferbox
    // The bus activity list `i2cparser` with the RXD window and "Continuous Rx".
    virtual BusActivity& activity() = 0;
    virtual std::string queueText() = 0;  // commands
    virtual void setTokenCount(const std::string& text) = 0;
    // Refills `portselect`: "Select..." and then `names`.
    virtual void setPortList(const std::vector<std::string>& names) = 0;
    // Shows entry `index` of `portselect` as selected, without running its handler.
    virtual void showPortEntry(int index) = 0;
    // The window's frame (left, width, top, height), for centring the scan window.
    virtual void frame(std::int32_t& left, std::int32_t& width, std::int32_t& top, std::int32_t& height) {
        left = width = top = height = 0;
    }
    // "Update": shows the bootloader window and returns when it is closed. `hexFolder` is the
    // folder its file dialog opens in; it comes back as the folder last used there.
    virtual void showBootloader(std::string& hexFolder) { (void)hexFolder; }
    // Says once after a scan which ports exist but are closed to this user.
    virtual void reportDeniedPorts(const std::vector<DeniedPort>& denied);
};

class MainConsole final : public WriteHost, public ReceiveHost, public CompileContext {
public:
    // `rs232`: the window's control; `scanFactory` makes the scan window's control; `progress`
    // (may be null) is the scan window. The view and the progress window outlive this.
    MainConsole(ConsoleView& view, std::unique_ptr<SerialControl> rs232, SerialFactory scanFactory,
                ScanProgress* progress = nullptr);
    ~MainConsole() override;
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
    // Opens the port of this name as choosing it in the list does; false after a failure
    // (the alert has been shown). The name need not be in the list.
    bool openport(const std::string& name);
    // The key handler: Enter rescans for adapters, Space scans every port. True when the key
    // is a character key, which the list must then discard.
    bool portkey(int character);
    // The list's entries after "Select...", and the current selection.
    const std::vector<std::string>& ports() const { return ports_; }
    int selectedPort() const { return selected_; }
    PortScanner& scanner() { return scanner_; }

    // --- Buttons --------------------------------------------------------------------------
    // cmmd_Click(index): the fixed frames (18 to 27, 29), "Update" (28), "Rescan" (30),
    // "Compile/Transmit" (255). Preset buttons 0 to 17 belong to the workspace: nothing here.
    void cmmdclick(int index);
    // `compile` over the view: the "Compile/Transmit" action.
    void compilequeue();

    // --- Paths ----------------------------------------------------------------------------
    void sendframe(const std::string& text, std::int16_t wait) { ComWrite(*this, text, wait); }
    // The window control's EvtCharReceived.
    void linereceived() { charreceived(*this); }

    // --- Settings -------------------------------------------------------------------------
    SettingsLines& settings() { return settings_; }
    std::string& scriptfolder() { return scriptfolder_; }
    // Start-up's steps 7 and 8, shutdown's save: the file at `path`.
    void loadsettings(const std::string& path);
    void savesettings(const std::string& path);

    // WriteHost, ReceiveHost, CompileContext.
    SerialControl& rs232() override { return *rs232_; }
    void setTxd(const std::string& text) override { view_.setTxd(text); }
    void setRxd(const std::string& text) override { view_.setRxd(text); }
    void emptyRxBuffer() override { sarnel::rxbuffer().clear(); }
    void selectNoPort() override;
    std::string& rxbuffer() override { return sarnel::rxbuffer(); }
    void decode() override;
    std::string commandQueue() override { return view_.queueText(); }
    bool continuousRx() override { return view_.activity().continuousRx(); }
    void clearActivity() override { view_.activity().clear(); }
    void setTokenCount(const std::string& text) override { view_.setTokenCount(text); }
    void send(const std::string& frame, std::int16_t wait) override { sendframe(frame, wait); }

private:
    void closeport();

    ConsoleView& view_;
    std::unique_ptr<SerialControl> rs232_;
    PortScanner scanner_;
    std::vector<std::string> ports_;
    int selected_ = 0;
    SettingsLines settings_;
    std::string scriptfolder_;
    std::string lastDenied_;
};

}  // namespace sarnel
