// Where a port name leads, which name a device answers to, and who may open a device. Look-ups
// in the file system, the per-user file of port names and the system's port information, with
// no device code, so that the component, the console and its tools name ports alike.
#pragma once

#include <serial/portinfo.h>

#include <string>
#include <string_view>
#include <vector>

namespace serial {

// What the program hands in from its surroundings. The layer reads no environment itself;
// environmentNames() is what the programs and the component hand in.
struct NameSettings {
    // The folder whose entries COMn name ports (a symbolic link to the device); empty: none.
    std::string portDir;
    // The per-user folder that holds the file of port names (portmemory.h); empty: none, so
    // no port keeps a number of its own.
    std::string stateDir;
    // Where port information comes from; nullptr: the system's (libudev). Not owned.
    PortInfoSource* info = nullptr;
};

// VESKOR_PORT_DIR, and the per-user folder: $XDG_CONFIG_HOME/sarnel when that is an absolute
// path, else $HOME/.config/sarnel.
NameSettings environmentNames();
// The per-user folder for these values of XDG_CONFIG_HOME and HOME (either may be null);
// empty when neither helps.
std::string userStateFolder(const char* xdgConfigHome, const char* home);

// A port on another machine, served over TCP: "rfc2217://HOST:PORT" with the telnet com-port
// control option (line settings, modem lines and break travel with the data), or
// "socket://HOST:PORT", the bytes alone. HOST is a name, an IPv4 address or an IPv6 address in
// brackets; PORT 1-65535. The scheme is matched in any case.
struct RemoteAddress {
    bool comPortControl = false;  // rfc2217://
    std::string host;             // without the brackets of an IPv6 address
    std::string port;
    // "bench7 port 4001"
    std::string where() const;
};

// Whether `name` is meant as a remote port's address (it starts with rfc2217:// or socket://),
// well formed or not.
bool isRemoteName(std::string_view name);
// The address a remote port's name gives; nullopt when it is not well formed.
std::optional<RemoteAddress> parseRemote(std::string_view name);

// Where a name leads.
struct PortTarget {
    enum class Kind {
        none,    // a COM name that leads nowhere (COM0, COM97 without a port)
        device,  // a device path
        other,   // any other name, passed on as it is (the end of an in-memory pair)
        remote,  // a remote port's address (path)
    };
    Kind kind = Kind::none;
    std::string path;   // the device path or remote address; for `other` and `none` the name
    std::string entry;  // the port folder's entry the name was found as; empty otherwise
    // For `none`: the name the device at this name's table place answers to now ("COM97"),
    // when it keeps a number of its own; empty otherwise.
    std::string ownName;
};

// Resolves a port name, in this order, each step a function of its own in names.cpp:
//   1. COMn as an entry of settings.portDir: the device its link leads to (the entry itself
//      when the link dangles, so that opening it says the device is gone);
//   2. a name that starts with "/" is a device path;
//   3. a remote port's address (rfc2217://, socket://) is that remote port;
//   4. COMn kept in the per-user file: the remote port named there, or the USB port that is
//      present with the identity kept there;
//   5. COM1-32 = /dev/ttyS0-31, COM33-64 = /dev/ttyUSB0-31, COM65-96 = /dev/ttyACM0-31, unless
//      the device there keeps a number of its own (then this name leads nowhere, so that one
//      device is never listed twice).
// "COM" may be written in any case, the number without leading zeros.
PortTarget resolvePort(std::string_view name, const NameSettings& settings);

// n for "COMn" (n >= 1, in any case, no leading zeros); 0 for any other name.
int comNumber(std::string_view name);

// A serial device present, and the name it answers to.
struct NamedPort {
    std::string name;  // "COM97", "COM33"; its device path when no COM name leads to it
    PortInfo info;
};

// The serial devices present with their names, in the order of their paths. USB ports with a
// serial number that have no number yet are given the lowest free ones from COM97 on, and the
// per-user file is updated. When it cannot be (damaged, read-only, no place) `problem` says
// why, and those ports keep their table names meanwhile.
std::vector<NamedPort> namePorts(const NameSettings& settings, std::string* problem = nullptr);

// What the system knows of the device a name leads to; nullopt when it knows nothing (no such
// device, a pseudo-terminal, a pair end).
std::optional<PortInfo> portInfo(std::string_view name, const NameSettings& settings);

// The group whose members may read and write the device at `path`; empty when there is none
// that would help (the device grants its group no access, or the group is root's) or when the
// path cannot be looked at.
std::string accessGroup(const std::string& path);

}  // namespace serial
