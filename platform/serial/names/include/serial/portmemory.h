// The per-user file of port names, `ports` in the user's state folder (~/.config/sarnel/): the
// COM numbers given to USB serial ports that report a serial number, the ports on other
// machines a person named, and the port the console had open when it last closed. One line
// each:
//
//   # a comment
//   COM97 0403:6001 00 A12345XY        the port with this identity answers to COM97
//   COM200 rfc2217://bench7:4001       a remote port (names.h), numbered by hand from COM97 up
//   socket://bench8:4002               a remote port given the lowest number no line names
//   last usb 0403:6001 00 A12345XY     the console last had this port open...
//   last path /dev/ttyS0               ...or this one, which has no identity
//
// The file is only ever replaced whole (a temporary file renamed over it), under a lock of
// the folder, so two programs that number ports at once do not lose each other's numbers.
// A file that cannot be read whole is reported and kept exactly as it is: nothing is written
// over it until a person has mended it. A file without write permission is read, never
// written. Comments and the order of lines survive every update.
#pragma once

#include <serial/portinfo.h>

#include <functional>
#include <string>
#include <vector>

namespace serial {

// The port the console last had open: by its identity when it has one, else by its path.
struct RememberedPort {
    UsbIdentity identity;  // serial empty: none
    std::string path;
    bool empty() const { return identity.serial.empty() && path.empty(); }
};

class PortMemory {
public:
    static constexpr const char* kFileName = "ports";
    // New numbers start above the fixed table (COM1-96) and stop where the port scan stops.
    static constexpr int kFirstNumber = 97;
    static constexpr int kLastNumber = 999;

    // The file's path in `folder`.
    static std::string path(const std::string& folder);
    // Reads the file in `folder` ("" or a missing file: nothing remembered).
    static PortMemory read(const std::string& folder);
    // The text of a file; `name` is what problems call it.
    static PortMemory parse(const std::string& text, const std::string& name);

    // Why the file cannot be used whole or written: a damaged line, a file that cannot be read,
    // a read-only file. Empty when the file is fine (or missing). Worded for a person:
    // "/home/ann/.config/sarnel/ports, line 3: ...".
    const std::string& problem() const { return problem_; }
    bool damaged() const { return damaged_; }

    // The COM number kept for this identity; 0 when there is none.
    int number(const UsbIdentity& id) const;
    // The identity that COMn is kept for; nullptr when none.
    const UsbIdentity* identity(int com) const;
    // The remote port's address that COMn names; nullptr when none.
    const std::string* remote(int com) const;
    // Whether COMn is given to anything.
    bool taken(int com) const;
    const RememberedPort& last() const { return last_; }

    // In memory: gives `id` the lowest free number (0 when every number is taken) unless it has
    // one, and returns its number.
    int assign(const UsbIdentity& id);
    void setLast(const RememberedPort& port);

    // The file's text with the changes made.
    std::string text() const;

private:
    struct Entry {
        int com;
        UsbIdentity id;      // a USB port's identity...
        std::string remote;  // ...or a remote port's address
    };
    bool parseLine(const std::string& line, std::string& why);
    // Gives each remote port listed without a number the lowest number no other line names.
    void numberUnnumbered(const std::string& name);

    std::vector<std::string> lines_;  // as read; changed lines replaced in place
    std::vector<Entry> entries_;
    std::vector<std::string> unnumbered_;  // remote addresses listed without a COM number
    RememberedPort last_;
    int lastLine_ = -1;  // the index of the "last" line in lines_, -1 when none
    std::string problem_;
    bool damaged_ = false;
    bool readOnly_ = false;

    friend bool updatePortMemory(const std::string&, const std::function<bool(PortMemory&)>&, std::string*);
};

// Reads the file under a lock of its folder, lets `change` change it and, when `change`
// returns true, replaces the file with the result (creating the folder as needed). False with
// `problem` set when the file is damaged or cannot be written: then the file is untouched.
bool updatePortMemory(const std::string& folder, const std::function<bool(PortMemory&)>& change,
                      std::string* problem);

}  // namespace serial
