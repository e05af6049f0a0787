// The main window as the console's logic sees it: what the logic shows, and the few things it
// asks of the window. The Qt window maps each call onto its controls; sarnel-cli and the tests
// implement it over texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/responses/decoder.h"
#include "console/responses/portscan.h"

namespace sarnel {

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

}  // namespace sarnel
