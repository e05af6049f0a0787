#include "console/responses/portscan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <tuple>

#include "console/base/consoleerror.h"
#include "console/base/timing.h"

namespace sarnel {

namespace {

constexpr std::size_t kMaxExpected = 10;
constexpr int kProbeAttempts = 5;
constexpr std::int16_t kProbePause = 10;  // hundredths of a second

std::vector<std::string> splitExpected(const std::string& expected) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (start <= expected.size() && fields.size() < kMaxExpected) {
        std::size_t bar = expected.find('|', start);
        if (bar == std::string::npos) bar = expected.size();
        // An empty field would match any reply at all.
        if (bar > start) fields.push_back(expected.substr(start, bar - start));
        start = bar + 1;
    }
    return fields;
}

bool accessDenied(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    return ::access(path.c_str(), R_OK | W_OK) != 0 && errno == EACCES;
}

// Runs one call of the control; a failure closes the control and reports false, so that the
// probe carries on with its next step as the scan's error path wants.
template <typename Call>
bool attempt(SerialControl& rs232, Call&& call) {
    try {
        call();
        return true;
    } catch (const ConsoleError&) {
        rs232.close();
        return false;
    }
}

}  // namespace

int portcount(const PortTable& table) {
    const std::string& text = table[0];
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos) return 0;
    return std::atoi(text.c_str() + i);
}

serial::NameSettings portnames() {
    return serial::environmentNames();
}

std::string devicepath(const std::string& name) {
    serial::PortTarget target = serial::resolvePort(name, portnames());
    const bool somewhere =
        target.kind == serial::PortTarget::Kind::device || target.kind == serial::PortTarget::Kind::remote;
    return somewhere ? std::move(target.path) : std::string();
}

PortScanner::PortScanner(ConsoleState& state, SerialFactory factory, ScanProgress* progress)
    : state_(state), factory_(std::move(factory)), progress_(progress), isDenied_(accessDenied) {}

PortScanner::~PortScanner() {
    if (rs232_) rs232_->close();
}

void PortScanner::setPermissionCheck(std::function<bool(const std::string&)> isDenied) {
    isDenied_ = std::move(isDenied);
}

SerialControl& PortScanner::control() {
    if (!rs232_) {
        rs232_ = factory_();
        // The scan window's receive path: whatever arrives joins the scan buffer. A read that
        // fails (an adapter unplugged mid-probe) counts as no data; the probe's own calls fail
        // next.
        SerialControl* rs232 = rs232_.get();
        std::string* buffer = &state_.scanbuffer;
        rs232_->setLineHandler([rs232, buffer] {
            try {
                *buffer += rs232->read();
            } catch (const ConsoleError&) {
            }
        });
    }
    return *rs232_;
}

ScanResult PortScanner::scan(const ScanRequest& request) {
    ScanResult result;
    const std::vector<std::string> replies = splitExpected(request.expected);
    const std::string settings = request.settings.empty() ? kPortSettings : request.settings;
    const int maxport = request.maxport == 0 ? 1000 : request.maxport;
    std::string& scanbuffer = state_.scanbuffer;

    if (progress_) progress_->showCentred(request.left, request.width, request.top, request.height);
    processEvents();

    // USB ports plugged in for the first time get their COM numbers before they are probed.
    serial::namePorts(portnames(), &result.namesProblem);

    SerialControl& rs232 = control();
    const int last = std::min(maxport, static_cast<int>(std::tuple_size_v<PortTable>));
    for (int p = 1; p < last; ++p) {
        const std::string name = "COM" + std::to_string(p);
        rs232.close();
        bool ok = attempt(rs232, [&] { rs232.open(name, settings); });
        if (!ok) {
            const std::string path = devicepath(name);
            if (!path.empty() && isDenied_ && isDenied_(path))
                result.denied.push_back({name, path, serial::accessGroup(path)});
        }
        if (ok) ok = attempt(rs232, [&] { rs232.setBreak(0); });

        if (ok) {
            bool listed = false;
            if (!request.expected.empty()) {
                scanbuffer.clear();
                for (int k = 0; k < kProbeAttempts && !listed; ++k) {
                    if (ok) ok = attempt(rs232, [&] { rs232.writeBackground("$0000\r"); });
                    waithundredths(kProbePause);
                    for (const std::string& reply : replies) {
                        if (scanbuffer.find(reply) != std::string::npos) listed = true;
                    }
                    // A port that failed mid-probe gets no further attempts; only what had
                    // already arrived counts.
                    if (!ok) break;
                }
            } else {
                listed = true;
            }
            const bool answered = listed;
            if (request.listSilent) listed = true;
            if (listed) {
                std::string path;
                try {
                    path = rs232.portName();
                } catch (const ConsoleError&) {
                }
                // The control may report the name in its device-namespace form ("\\.\COM3");
                // the device path is what the engineer needs.
                if (path.empty() || path[0] != '/') path = devicepath(name);
                result.ports.push_back({name, path, answered});
            }
        }
        rs232.close();
        processEvents();
    }

    if (progress_) progress_->hideWindow();
    rs232.close();
    return result;
}

void PortScanner::portscan(PortTable& table, std::string& expected, std::string& settings,
                           std::int16_t& maxport, std::int32_t left, std::int32_t width, std::int32_t top,
                           std::int32_t height) {
    for (std::string& entry : table) entry.clear();
    if (maxport == 0) maxport = 1000;
    if (settings.empty()) settings = kPortSettings;
    ScanRequest request{expected, settings, maxport, left, width, top, height};
    const ScanResult result = scan(request);
    for (std::size_t i = 0; i < result.ports.size(); ++i) table[i + 1] = result.ports[i].name;
    if (!result.ports.empty()) table[0] = " " + std::to_string(result.ports.size());
}

std::string deniedmessage(const std::vector<DeniedPort>& denied) {
    if (denied.empty()) return {};
    constexpr std::size_t kNamed = 4;
    std::string ports;
    std::string groups;
    std::string group;
    for (std::size_t i = 0; i < denied.size(); ++i) {
        const DeniedPort& d = denied[i];
        if (i < kNamed) {
            if (!ports.empty()) ports += ", ";
            ports += d.name + " (" + d.path + ")";
        } else if (i == kNamed) {
            ports += " and " + std::to_string(denied.size() - kNamed) + " more";
        }
        if (group.empty()) group = d.group;
        if (!d.group.empty() && groups.find(d.group) == std::string::npos) {
            if (!groups.empty()) groups += ", ";
            groups += d.group;
        }
    }
    std::string message =
        "These serial ports exist but could not be opened for lack of permission: " + ports + ".";
    message += "\r\n\r\n";
    if (!groups.empty()) {
        message += "Add your user to the group that owns the device (" + groups +
                   "), for example with \"sudo usermod -aG " + group +
                   " $USER\", then log out and in again and rescan the ports.";
    } else {
        message += "Ask for read and write access to the device, then rescan the ports.";
    }
    // A USB adapter can be opened by whoever sits at the computer, without a group, through a
    // udev rule for its ids.
    for (const DeniedPort& d : denied) {
        if (d.path.rfind("/dev/ttyUSB", 0) != 0 && d.path.rfind("/dev/ttyACM", 0) != 0) continue;
        message += "\r\n\r\nFor a USB adapter, \"sarnel-cli udev-rule --port " + d.name +
                   "\" prints a udev rule that gives access to whoever is logged in at this computer, and "
                   "the commands that install it.";
        break;
    }
    return message;
}

}  // namespace sarnel
