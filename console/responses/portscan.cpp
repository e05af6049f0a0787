#include "console/responses/portscan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

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
    return target.kind == serial::PortTarget::Kind::device ? std::move(target.path) : std::string();
}

std::string& scanbuffer() {
    static std::string buffer;
    return buffer;
}

PortScanner::PortScanner(SerialFactory factory, ScanProgress* progress)
    : factory_(std::move(factory)), progress_(progress), isDenied_(accessDenied) {}

PortScanner::~PortScanner() {
    if (rs232_) rs232_->close();
}

void PortScanner::setPermissionCheck(std::function<bool(const std::string&)> isDenied) {
    isDenied_ = std::move(isDenied);
}

SerialControl& PortScanner::control() {
    if (!rs232_) {
        rs232_ = factory_();
        // The scan window's receive path: whatever arrives joins scanbuffer. A read that fails
        // (an adapter unplugged mid-probe) counts as no data; the probe's own calls fail next.
        SerialControl* rs232 = rs232_.get();
        rs232_->setLineHandler([rs232] {
            try {
                scanbuffer() += rs232->read();
            } catch (const ConsoleError&) {
            }
        });
    }
    return *rs232_;
}

const std::string& PortScanner::devicePath(const std::string& name) const {
    static const std::string none;
    for (const auto& [port, path] : paths_) {
        if (port == name) return path;
    }
    return none;
}

void PortScanner::noteFailedOpen(const std::string& name) {
    const std::string path = devicepath(name);
    if (path.empty() || !isDenied_ || !isDenied_(path)) return;
    denied_.push_back({name, path, serial::accessGroup(path)});
}

void PortScanner::portscan(PortTable& table, std::string& expected, std::string& settings,
                           std::int16_t& maxport, std::int32_t left, std::int32_t width, std::int32_t top,
                           std::int32_t height) {
    for (std::string& entry : table) entry.clear();
    denied_.clear();
    paths_.clear();
    const std::vector<std::string> replies = splitExpected(expected);
    if (maxport == 0) maxport = 1000;
    if (settings.empty()) settings = kPortSettings;

    if (progress_) progress_->showCentred(left, width, top, height);
    processEvents();

    SerialControl& rs232 = control();
    int found = 0;
    const int last =
        maxport > static_cast<std::int16_t>(table.size()) ? static_cast<int>(table.size()) : maxport;
    for (int p = 1; p < last; ++p) {
        const std::string name = "COM" + std::to_string(p);
        rs232.close();
        bool ok = attempt(rs232, [&] { rs232.open(name, settings); });
        if (!ok) noteFailedOpen(name);
        if (ok) ok = attempt(rs232, [&] { rs232.setBreak(0); });

        if (ok) {
            bool listed = false;
            if (!expected.empty()) {
                scanbuffer().clear();
                for (int k = 0; k < kProbeAttempts && !listed; ++k) {
                    if (ok) ok = attempt(rs232, [&] { rs232.writeBackground("$0000\r"); });
                    waithundredths(kProbePause);
                    for (const std::string& reply : replies) {
                        if (scanbuffer().find(reply) != std::string::npos) listed = true;
                    }
                    // A port that failed mid-probe gets no further attempts; only what had
                    // already arrived counts.
                    if (!ok) break;
                }
            } else {
                listed = true;
            }
            if (listed) {
                ++found;
                table[static_cast<std::size_t>(found)] = name;
                table[0] = " " + std::to_string(found);
                std::string path;
                try {
                    path = rs232.portName();
                } catch (const ConsoleError&) {
                }
                // The control may report the name in its device-namespace form ("\\.\COM3");
                // the device path is what the engineer needs.
                if (path.empty() || path[0] != '/') path = devicepath(name);
                paths_.emplace_back(name, path);
            }
        }
        rs232.close();
        processEvents();
    }

    if (progress_) progress_->hideWindow();
    rs232.close();
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
    return message;
}

}  // namespace sarnel
