// The port scan: tries COM1 up to a limit on a control of its own, sends each port that opens
// the identification request "$0000" CR and lists the ports whose reply holds one of the
// expected texts (or, with no expected text, every port that opens). The main window, the
// bootloader window and sarnel-cli use it; none of them has a port open during a scan.
#pragma once

#include <serial/names.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console/base/serialcontrol.h"

namespace sarnel {

// The identification replies of the USB and of the RS-232 adapter (their first eleven
// characters), as the main window passes them.
inline constexpr const char* kAdapterReplies = "!0000022600|!0000015300";
inline constexpr const char* kPortSettings = "115200,n,8,1";

// Element 0: the number of ports found, as text with one leading space (empty when none);
// elements 1 to n: the names in scan order ("COM3").
using PortTable = std::array<std::string, 1001>;

// The number held in table element 0 (0 when it is empty).
int portcount(const PortTable& table);

// Makes the scan's serial control; called once, when the scanner is first used.
using SerialFactory = std::function<std::unique_ptr<SerialControl>()>;

// The progress window "Scanning for serial ports, please wait...". The scanner shows it
// centred on the caller's window for the duration of a scan; sarnel-cli runs without one.
class ScanProgress {
public:
    virtual ~ScanProgress() = default;
    // left, width, top, height: the calling window's frame, used only to centre the window.
    virtual void showCentred(std::int32_t left, std::int32_t width, std::int32_t top,
                             std::int32_t height) = 0;
    virtual void hideWindow() = 0;
};

// A port that exists but that this user may not open, found during the last scan.
struct DeniedPort {
    std::string name;   // "COM33"
    std::string path;   // "/dev/ttyUSB0"
    std::string group;  // the group that owns the device ("dialout"); empty when unknown
};

// Where port names lead, as the component resolves them: COMn through the folder named by
// VESKOR_PORT_DIR (read at every call), then the fixed table (serial/names.h).
serial::NameSettings portnames();
// The device path a port name leads to; empty when it leads to no device.
std::string devicepath(const std::string& name);

// The text received by the scan's control since the current port's probe began. Console-wide,
// like the original; it keeps the last probed port's replies until the next probe.
std::string& scanbuffer();

class PortScanner {
public:
    // `progress` may be null; it must outlive the scanner.
    explicit PortScanner(SerialFactory factory, ScanProgress* progress = nullptr);
    ~PortScanner();
    PortScanner(const PortScanner&) = delete;
    PortScanner& operator=(const PortScanner&) = delete;

    // The scan. `expected`: reply texts separated by "|" (at most 10 are compared; empty
    // fields are ignored) or empty to list every port that opens. `settings` becomes
    // "115200,n,8,1" when empty, `maxport` 1000 when 0; COM1 to COM(maxport - 1) are tried.
    // Runs on the window thread and lets events run during its pauses; never throws for a
    // port's failure (a port that fails is skipped or finishes its probe, as far as it got).
    // Each port is listed at most once.
    void portscan(PortTable& table, std::string& expected, std::string& settings, std::int16_t& maxport,
                  std::int32_t left = 0, std::int32_t width = 0, std::int32_t top = 0,
                  std::int32_t height = 0);

    // The ports of the last scan that exist but could not be opened for lack of permission.
    const std::vector<DeniedPort>& denied() const { return denied_; }

    // Decides whether a port that failed to open exists but is closed to this user; the
    // default asks the file system (access(2)). Tests replace it.
    void setPermissionCheck(std::function<bool(const std::string& path)> isDenied);

    // The device path of each port of the last scan's table, as its control reported it.
    const std::string& devicePath(const std::string& name) const;

private:
    SerialControl& control();
    void noteFailedOpen(const std::string& name);

    SerialFactory factory_;
    ScanProgress* progress_;
    std::unique_ptr<SerialControl> rs232_;
    std::function<bool(const std::string&)> isDenied_;
    std::vector<DeniedPort> denied_;
    std::vector<std::pair<std::string, std::string>> paths_;
};

// The sentence the console shows once after a scan that met ports closed to this user.
std::string deniedmessage(const std::vector<DeniedPort>& denied);

}  // namespace sarnel
