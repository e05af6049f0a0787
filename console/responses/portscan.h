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

#include "console/base/consolestate.h"
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
// The device path or remote address a port name leads to; empty when it leads nowhere.
std::string devicepath(const std::string& name);

// What a scan is asked to do.
struct ScanRequest {
    // Reply texts separated by "|" (at most 10 are compared; empty fields are ignored), or
    // empty to list every port that opens.
    std::string expected;
    std::string settings = kPortSettings;  // "" means "115200,n,8,1" too
    int maxport = 1000;                    // COM1 to COM(maxport - 1) are tried; 0 means 1000
    // The calling window's frame, used only to centre the progress window.
    std::int32_t left = 0, width = 0, top = 0, height = 0;
    // With `expected`: list the ports that open but do not answer too (answered false).
    bool listSilent = false;
};

// A port the scan listed.
struct ScannedPort {
    std::string name;      // "COM3"
    std::string path;      // its device path, as its control reported it ("/dev/ttyUSB0")
    bool answered = true;  // it answered as expected (always, for a scan that expects nothing)
};

// What a scan found.
struct ScanResult {
    std::vector<ScannedPort> ports;  // in scan order, each port once, at most 1000
    std::vector<DeniedPort> denied;  // ports that exist but could not be opened for lack of permission
    // Why USB ports could not be given COM numbers of their own (the per-user file of port
    // numbers is damaged or read-only); empty when nothing stood in the way.
    std::string namesProblem;
};

class PortScanner {
public:
    // The scan's control delivers into `state`'s scan buffer. `progress` may be null; the state
    // and the progress window must outlive the scanner.
    explicit PortScanner(ConsoleState& state, SerialFactory factory, ScanProgress* progress = nullptr);
    ~PortScanner();
    PortScanner(const PortScanner&) = delete;
    PortScanner& operator=(const PortScanner&) = delete;

    // The scan. Runs on the window thread and lets events run during its pauses; never throws
    // for a port's failure (a port that fails is skipped or finishes its probe, as far as it
    // got).
    ScanResult scan(const ScanRequest& request);

    // The same scan in the window's by-reference form: `settings` becomes "115200,n,8,1" when
    // empty and `maxport` 1000 when 0, and the table receives the ports found.
    void portscan(PortTable& table, std::string& expected, std::string& settings, std::int16_t& maxport,
                  std::int32_t left = 0, std::int32_t width = 0, std::int32_t top = 0,
                  std::int32_t height = 0);

    // Decides whether a port that failed to open exists but is closed to this user; the
    // default asks the file system (access(2)). Tests replace it.
    void setPermissionCheck(std::function<bool(const std::string& path)> isDenied);

private:
    SerialControl& control();

    ConsoleState& state_;
    SerialFactory factory_;
    ScanProgress* progress_;
    std::unique_ptr<SerialControl> rs232_;
    std::function<bool(const std::string&)> isDenied_;
};

// The sentence the console shows once after a scan that met ports closed to this user.
std::string deniedmessage(const std::vector<DeniedPort>& denied);

}  // namespace sarnel
