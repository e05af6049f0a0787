#include <fcntl.h>
#include <serial/names.h>
#include <serial/portmemory.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sysio/sysio.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace serial {

namespace {

// More than any real file; a larger one is not ours.
constexpr std::size_t kMaxFileSize = 1 << 20;

bool isHex(const std::string& s, std::size_t digits) {
    if (s.size() != digits) return false;
    for (char c : s) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The next word of `line` from `at`, which moves past it and the blanks after it.
std::string word(const std::string& line, std::size_t& at) {
    const std::size_t start = line.find_first_not_of(" \t", at);
    if (start == std::string::npos) {
        at = line.size();
        return {};
    }
    std::size_t end = line.find_first_of(" \t", start);
    if (end == std::string::npos) end = line.size();
    at = end;
    return line.substr(start, end - start);
}

// "0403:6001 00 SERIAL" from `at` to the end of the line.
bool parseIdentity(const std::string& line, std::size_t at, UsbIdentity& id, std::string& why) {
    const std::string ids = word(line, at);
    const std::string interface = word(line, at);
    const std::string serial = cleanSerial(line.substr(at));
    if (ids.size() != 9 || ids[4] != ':' || !isHex(ids.substr(0, 4), 4) || !isHex(ids.substr(5), 4)) {
        why = "the USB ids are not written as vvvv:pppp";
        return false;
    }
    if (!isHex(interface, 2)) {
        why = "the interface number is not two hexadecimal digits";
        return false;
    }
    if (serial.empty()) {
        why = "the serial number is missing or holds a control character";
        return false;
    }
    id = {lower(ids.substr(0, 4)), lower(ids.substr(5)), lower(interface), serial};
    return true;
}

std::string lastLine(const RememberedPort& port) {
    return port.identity.serial.empty() ? "last path " + port.path : "last usb " + port.identity.text();
}

std::string systemProblem(const std::string& what, const std::string& path, int error) {
    return path + ": " + what + " (" + std::strerror(error) + ")";
}

// Writes `text` to a new file beside `path` and renames it over `path`: a reader sees the old
// file or the new one, never a part.
bool replaceFile(const std::string& folder, const std::string& path, const std::string& text,
                 std::string* problem) {
    std::string temp = folder + "/.ports.XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        if (problem) *problem = systemProblem("cannot be written", path, errno);
        return false;
    }
    // The new file keeps the old one's permissions (a new one is the user's alone).
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
    const bool written = sysio::writeAll(fd, text.data(), text.size()) && ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
        const int cause = written ? errno : error;
        ::unlink(temp.c_str());
        if (problem) *problem = systemProblem("cannot be written", path, cause);
        return false;
    }
    return true;
}

bool makeFolder(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1))
        ::mkdir(folder.substr(0, slash).c_str(), 0700);
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

std::string PortMemory::path(const std::string& folder) {
    return folder + "/" + kFileName;
}

PortMemory PortMemory::read(const std::string& folder) {
    PortMemory memory;
    if (folder.empty()) return memory;
    const std::string file = path(folder);
    const int fd = sysio::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT) {
            memory.problem_ = systemProblem("cannot be read", file, errno);
            memory.damaged_ = true;
        }
        return memory;
    }
    struct stat st {};
    std::string text;
    bool ok =
        ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) <= kMaxFileSize;
    int error = ok ? 0 : EINVAL;
    if (ok) {
        char buffer[4096];
        for (;;) {
            const ssize_t n = sysio::read(fd, buffer, sizeof buffer);
            if (n < 0) {
                ok = false;
                error = errno;
                break;
            }
            if (n == 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
            if (text.size() > kMaxFileSize) {
                ok = false;
                error = EFBIG;
                break;
            }
        }
    }
    ::close(fd);
    if (!ok) {
        memory.problem_ = error == EINVAL ? file + ": not a regular file of port names"
                                          : systemProblem("cannot be read", file, error);
        memory.damaged_ = true;
        return memory;
    }
    memory = parse(text, file);
    if (!memory.damaged_ && ((st.st_mode & 0222) == 0 || ::access(file.c_str(), W_OK) != 0)) {
        memory.readOnly_ = true;
        memory.problem_ = file + " is read-only: new COM numbers are not kept";
    }
    return memory;
}

PortMemory PortMemory::parse(const std::string& text, const std::string& name) {
    PortMemory memory;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        // Kept as it was; read without the carriage return of a CR LF line end.
        memory.lines_.push_back(text.substr(start, end - start));
        std::string line = memory.lines_.back();
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string why;
        if (!memory.damaged_ && !memory.parseLine(line, why)) {
            memory.damaged_ = true;
            memory.problem_ =
                name + ", line " + std::to_string(memory.lines_.size()) + ": " + why +
                "; the file is kept as it is, and new COM numbers are not kept until it is mended";
        }
        start = end + 1;
    }
    if (!memory.damaged_) memory.numberUnnumbered(name);
    return memory;
}

void PortMemory::numberUnnumbered(const std::string& name) {
    // After every line is read, so that no number written in the file is taken first.
    for (const std::string& address : unnumbered_) {
        int com = kFirstNumber;
        while (com <= kLastNumber && taken(com)) ++com;
        if (com > kLastNumber) {
            damaged_ = true;
            problem_ = name + ": no COM number is left for " + address +
                       "; the file is kept as it is, and new COM numbers are not kept until it is mended";
            return;
        }
        entries_.push_back({com, {}, address});
    }
}

bool PortMemory::parseLine(const std::string& line, std::string& why) {
    if (line.find('\0') != std::string::npos) {
        why = "a NUL byte";
        return false;
    }
    std::size_t at = 0;
    const std::string first = word(line, at);
    if (first.empty() || first[0] == '#') return true;
    if (isRemoteName(first)) {
        // A remote port without a number of its own: numbered once the whole file is read.
        if (!parseRemote(first)) {
            why = "\"" + first +
                  "\" is not a remote port's address (rfc2217://HOST:PORT or socket://HOST:PORT)";
            return false;
        }
        if (!word(line, at).empty()) {
            why = "more than one address on a line";
            return false;
        }
        unnumbered_.push_back(first);
        return true;
    }
    if (const int com = comNumber(first); com > 0) {
        if (com > kLastNumber) {
            why = first + " is beyond COM" + std::to_string(kLastNumber);
            return false;
        }
        Entry entry{com, {}, {}};
        std::size_t next = at;
        if (std::string address = word(line, next); isRemoteName(address)) {
            if (!parseRemote(address)) {
                why = "\"" + address +
                      "\" is not a remote port's address (rfc2217://HOST:PORT or socket://HOST:PORT)";
                return false;
            }
            if (com < kFirstNumber) {
                why = first + " is a local port's number; remote ports take COM" +
                      std::to_string(kFirstNumber) + " to COM" + std::to_string(kLastNumber);
                return false;
            }
            if (!word(line, next).empty()) {
                why = "more than one address after " + first;
                return false;
            }
            entry.remote = address;
        } else if (!parseIdentity(line, at, entry.id, why)) {
            return false;
        }
        for (const Entry& e : entries_) {
            if (e.com == com) {
                why = "COM" + std::to_string(com) + " is given twice";
                return false;
            }
            if (entry.remote.empty() && e.remote.empty() && e.id == entry.id) {
                why = "the port " + entry.id.text() + " has two numbers";
                return false;
            }
        }
        entries_.push_back(entry);
        return true;
    }
    if (first == "last") {
        if (lastLine_ >= 0) {
            why = "a second \"last\" line";
            return false;
        }
        const std::string kind = word(line, at);
        RememberedPort port;
        if (kind == "usb") {
            if (!parseIdentity(line, at, port.identity, why)) return false;
        } else if (kind == "path") {
            port.path = word(line, at);
            if (port.path.empty() || port.path[0] != '/' || !word(line, at).empty()) {
                why = "\"last path\" needs one absolute path";
                return false;
            }
        } else {
            why = "\"last\" is followed by neither \"usb\" nor \"path\"";
            return false;
        }
        last_ = port;
        lastLine_ = static_cast<int>(lines_.size()) - 1;
        return true;
    }
    why = "\"" + first + "\" is neither a COM name, \"last\" nor a comment";
    return false;
}

int PortMemory::number(const UsbIdentity& id) const {
    for (const Entry& e : entries_) {
        if (e.remote.empty() && e.id == id) return e.com;
    }
    return 0;
}

const UsbIdentity* PortMemory::identity(int com) const {
    for (const Entry& e : entries_) {
        if (e.com == com) return e.remote.empty() ? &e.id : nullptr;
    }
    return nullptr;
}

const std::string* PortMemory::remote(int com) const {
    for (const Entry& e : entries_) {
        if (e.com == com) return e.remote.empty() ? nullptr : &e.remote;
    }
    return nullptr;
}

bool PortMemory::taken(int com) const {
    for (const Entry& e : entries_) {
        if (e.com == com) return true;
    }
    return false;
}

int PortMemory::assign(const UsbIdentity& id) {
    if (const int known = number(id)) return known;
    for (int com = kFirstNumber; com <= kLastNumber; ++com) {
        if (taken(com)) continue;
        if (lines_.empty()) {
            lines_.push_back("# COM numbers of USB serial ports by their identity (ids, interface, serial");
            lines_.push_back("# number), and the port the console last had open. Written by Sarnel.");
        }
        entries_.push_back({com, id, {}});
        // After the last assignment, so the file reads in the order numbers were given.
        std::size_t at = lines_.size();
        for (std::size_t i = lines_.size(); i-- > 0;) {
            std::size_t from = 0;
            if (comNumber(word(lines_[i], from)) > 0) {
                at = i + 1;
                break;
            }
        }
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                      "COM" + std::to_string(com) + " " + id.text());
        if (lastLine_ >= static_cast<int>(at)) ++lastLine_;
        return com;
    }
    return 0;
}

void PortMemory::setLast(const RememberedPort& port) {
    last_ = port;
    if (port.empty()) {
        if (lastLine_ >= 0) lines_.erase(lines_.begin() + lastLine_);
        lastLine_ = -1;
    } else if (lastLine_ >= 0) {
        lines_[static_cast<std::size_t>(lastLine_)] = lastLine(port);
    } else {
        lines_.push_back(lastLine(port));
        lastLine_ = static_cast<int>(lines_.size()) - 1;
    }
}

std::string PortMemory::text() const {
    std::string out;
    for (const std::string& line : lines_) out += line + "\n";
    return out;
}

bool updatePortMemory(const std::string& folder, const std::function<bool(PortMemory&)>& change,
                      std::string* problem) {
    if (folder.empty()) {
        if (problem) *problem = "no folder for per-user files (neither XDG_CONFIG_HOME nor HOME is set)";
        return false;
    }
    if (!makeFolder(folder)) {
        if (problem) *problem = systemProblem("cannot be made", folder, errno);
        return false;
    }
    // The folder's lock keeps a second program from reading between our read and our rename.
    const int lock = sysio::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock < 0 || sysio::flock(lock, LOCK_EX) != 0) {
        if (problem) *problem = systemProblem("cannot be locked", folder, errno);
        if (lock >= 0) ::close(lock);
        return false;
    }
    PortMemory memory = PortMemory::read(folder);
    bool done = false;
    if (memory.damaged_ || memory.readOnly_) {
        if (problem) *problem = memory.problem_;
    } else if (change(memory)) {
        done = replaceFile(folder, PortMemory::path(folder), memory.text(), problem);
    } else {
        done = true;
    }
    ::close(lock);
    return done;
}

}  // namespace serial
