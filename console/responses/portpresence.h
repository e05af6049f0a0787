// The port the console has open as the system knows it, so that the hot-plug watcher's
// changes can be told apart: the port's own unplugging, and the return of the same adapter.
// The main window and sarnel-cli both watch through this.
#pragma once

#include <serial/names.h>
#include <serial/portwatch.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sarnel {

struct OpenPort {
    std::string name;   // as opened: "COM97", "/dev/ttyUSB0"
    std::string path;   // the device it led to, links followed; a remote port's address
    std::string entry;  // the port folder's entry it was found as, or the link it was named by
    std::optional<serial::PortInfo> info;  // what the system knows of the device
    bool empty() const { return name.empty(); }
    // A USB port with a serial number: it can be recognised when it comes back.
    bool identified() const { return info && info->identified(); }
};

// Looks `name` up now, as it is being opened.
OpenPort identifyport(const std::string& name, const serial::NameSettings& names);

// True when the changes take the port away: its device node or its folder entry removed, or
// changes lost while the device has gone.
bool unplugs(const std::vector<serial::PortChange>& changes, const OpenPort& port);

// True when `change` brings back a port with the same identity (a USB port with a serial
// number: nothing else can be told from another device at the same place).
bool bringsback(const serial::PortChange& change, const OpenPort& port, const serial::NameSettings& names);

// "the adapter on COM97 (/dev/ttyUSB0) was unplugged"
std::string unpluggedtext(const OpenPort& port);

// The product as a listing names it: the maker's name and the product's ("FTDI FT232R USB
// UART"), the maker left out when the product already starts with it.
std::string productname(const serial::PortInfo& info);
// What a listing shows of a port: "COM97  /dev/ttyUSB0  USB-Serial Converter  serial A12345XY";
// the parts the system does not know are left out.
std::string porttext(const OpenPort& port);
// A port list entry's tooltip, one line each: the device path, the product (with its maker)
// and the serial number; the by-id name when there is one.
std::string porttip(const std::string& path, const std::optional<serial::PortInfo>& info);

// The open port, watched: the host serves descriptor() from its event loop and calls take()
// when it is readable.
class PortPresence {
public:
    enum class Change {
        none,
        unplugged,  // the open port has gone: it is now lost()
        returned,   // the lost port has come back (the same identity)
    };

    // Starts watching at once, so that nothing between now and an open goes unseen.
    PortPresence(serial::NameSettings names, const serial::WatchOptions& options);
    // The system's: environmentNames() and systemWatchOptions().
    PortPresence();
    ~PortPresence();
    PortPresence(const PortPresence&) = delete;
    PortPresence& operator=(const PortPresence&) = delete;

    int descriptor() const;
    const serial::NameSettings& names() const { return names_; }
    // "udev monitor" or "inotify on /dev".
    const std::string& method() const;

    // The port just opened as `name`; a port lost before is forgotten.
    void opened(const std::string& name);
    // The open port was closed on purpose: it is no longer watched. A lost port stays lost.
    void closed() { open_ = {}; }
    // The open port was closed after a failed call (a hang-up can fail a call before the
    // watcher sees the device go): it is lost, and take() still reports its unplugging.
    void failed();
    // Stop waiting for the lost port to come back.
    void forgetlost() { lost_ = {}; }

    // Takes what the watcher has seen; never blocks.
    Change take();

    const OpenPort& open() const { return open_; }
    const OpenPort& lost() const { return lost_; }

private:
    serial::NameSettings names_;
    std::unique_ptr<serial::PortWatcher> watcher_;
    OpenPort open_;
    OpenPort lost_;
    bool lostSeen_ = false;  // the lost port's unplugging has been reported
};

}  // namespace sarnel
