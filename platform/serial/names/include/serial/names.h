// Where a port name leads, and who may open a device. Plain look-ups in the file system with
// no device code, so that the console and its tools can name ports exactly as the component
// opens them.
#pragma once

#include <string>
#include <string_view>

namespace serial {

// What the program hands in from its surroundings (the layer reads no environment itself).
struct NameSettings {
    // The folder whose entries COMn name ports (a symbolic link to the device); empty: none.
    std::string portDir;
};

// Where a name leads.
struct PortTarget {
    enum class Kind {
        none,    // a COM name that leads nowhere (COM0, COM97 without an entry)
        device,  // a device path
        other,   // any other name, passed on as it is (the end of an in-memory pair)
    };
    Kind kind = Kind::none;
    std::string path;  // the device path; for `other` and `none` the name as given
};

// Resolves a port name, in this order:
//   1. COMn as an entry of settings.portDir: the device its link leads to (the entry itself
//      when the link dangles, so that opening it says the device is gone);
//   2. a name that starts with "/" is a device path;
//   3. COM1-32 = /dev/ttyS0-31, COM33-64 = /dev/ttyUSB0-31, COM65-96 = /dev/ttyACM0-31.
// "COM" may be written in any case, the number without leading zeros.
PortTarget resolvePort(std::string_view name, const NameSettings& settings);

// n for "COMn" (n >= 1, in any case, no leading zeros); 0 for any other name.
int comNumber(std::string_view name);

// The group whose members may read and write the device at `path`; empty when there is none
// that would help (the device grants its group no access, or the group is root's) or when the
// path cannot be looked at.
std::string accessGroup(const std::string& path);

}  // namespace serial
