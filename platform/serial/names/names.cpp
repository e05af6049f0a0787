#include <grp.h>
#include <serial/names.h>
#include <serial/portmemory.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>

namespace serial {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The device a folder entry leads to: its link followed to the end, or the entry itself when
// the link dangles (the device has gone) or cannot be followed.
std::string entryTarget(const std::string& entry) {
    char* real = ::realpath(entry.c_str(), nullptr);
    if (!real) return entry;
    std::string path = real;
    std::free(real);
    return path;
}

// What one resolution looks at, each read once and only when a step needs it.
class Lookup {
public:
    explicit Lookup(const NameSettings& settings) : settings_(settings) {}

    PortInfoSource& info() {
        if (settings_.info) return *settings_.info;
        if (!system_) system_ = systemPortInfo();
        return *system_;
    }
    const PortMemory& memory() {
        if (!memory_) memory_ = PortMemory::read(settings_.stateDir);
        return *memory_;
    }
    const std::vector<PortInfo>& devices() {
        if (!devices_) {
            devices_ = info().devices();
            std::sort(devices_->begin(), devices_->end(),
                      [](const PortInfo& a, const PortInfo& b) { return a.path < b.path; });
        }
        return *devices_;
    }
    // The present port that keeps COMn: the first, in path order, with the identity kept for
    // it (two devices that report the same identity cannot both keep it).
    const PortInfo* keeper(int com) {
        const UsbIdentity* id = com > 0 ? memory().identity(com) : nullptr;
        if (!id) return nullptr;
        for (const PortInfo& p : devices()) {
            if (p.identified() && p.identity() == *id) return &p;
        }
        return nullptr;
    }
    const NameSettings& settings() const { return settings_; }

private:
    const NameSettings& settings_;
    std::unique_ptr<PortInfoSource> system_;
    std::optional<PortMemory> memory_;
    std::optional<std::vector<PortInfo>> devices_;
};

// The fixed table: COM1-32 = /dev/ttyS0-31, COM33-64 = /dev/ttyUSB0-31, COM65-96 = /dev/ttyACM0-31.
std::string tablePath(int com) {
    if (com >= 1 && com <= 32) return "/dev/ttyS" + std::to_string(com - 1);
    if (com >= 33 && com <= 64) return "/dev/ttyUSB" + std::to_string(com - 33);
    if (com >= 65 && com <= 96) return "/dev/ttyACM" + std::to_string(com - 65);
    return {};
}

// The table's name for a device path; 0 when the table has none.
int tableNumber(const std::string& path) {
    const struct {
        const char* prefix;
        int first;
    } rows[] = {{"/dev/ttyS", 1}, {"/dev/ttyUSB", 33}, {"/dev/ttyACM", 65}};
    for (const auto& row : rows) {
        const std::string prefix = row.prefix;
        if (path.rfind(prefix, 0) != 0 || path.size() == prefix.size()) continue;
        const std::string index = path.substr(prefix.size());
        if (index.size() > 2 || (index.size() == 2 && index[0] == '0')) return 0;
        if (index.find_first_not_of("0123456789") != std::string::npos) return 0;
        const int n = std::atoi(index.c_str());
        return n < 32 ? row.first + n : 0;
    }
    return 0;
}

// The remote address a port folder's file holds (its first line); empty when it holds none.
std::string remoteInFile(const std::string& entry) {
    std::ifstream in(entry);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    const std::size_t start = line.find_first_not_of(" \t");
    const std::size_t end = line.find_last_not_of(" \t\r");
    if (start == std::string::npos) return {};
    line = line.substr(start, end + 1 - start);
    return isRemoteName(line) ? line : std::string();
}

// Step 1: the port folder: a link to a device, or a file that holds a remote address.
std::optional<PortTarget> fromPortFolder(int com, Lookup& lookup) {
    if (com <= 0 || lookup.settings().portDir.empty()) return std::nullopt;
    const std::string entry = lookup.settings().portDir + "/COM" + std::to_string(com);
    struct stat st {};
    if (::lstat(entry.c_str(), &st) != 0) return std::nullopt;
    if (S_ISREG(st.st_mode)) {
        if (std::string url = remoteInFile(entry); !url.empty())
            return PortTarget{PortTarget::Kind::remote, std::move(url), entry, {}};
    }
    return PortTarget{PortTarget::Kind::device, entryTarget(entry), entry, {}};
}

// Step 2: a device path.
std::optional<PortTarget> fromPath(std::string_view name) {
    if (name.empty() || name[0] != '/') return std::nullopt;
    return PortTarget{PortTarget::Kind::device, std::string(name), {}, {}};
}

// Step 3: a remote port's address.
std::optional<PortTarget> fromRemoteName(std::string_view name) {
    if (!isRemoteName(name)) return std::nullopt;
    return PortTarget{PortTarget::Kind::remote, std::string(name), {}, {}};
}

// Step 4: a number kept in the per-user file, for a remote port or a port that is present.
std::optional<PortTarget> fromKeptNumber(int com, Lookup& lookup) {
    if (com <= 0 || lookup.settings().stateDir.empty()) return std::nullopt;
    if (const std::string* remote = lookup.memory().remote(com))
        return PortTarget{PortTarget::Kind::remote, *remote, {}, {}};
    const PortInfo* port = lookup.keeper(com);
    if (!port) return std::nullopt;
    return PortTarget{PortTarget::Kind::device, port->path, {}, {}};
}

// Step 5: the fixed table, unless the device there keeps a number of its own.
std::optional<PortTarget> fromTable(std::string_view name, int com, Lookup& lookup) {
    const std::string path = tablePath(com);
    if (path.empty()) return std::nullopt;
    if (!lookup.settings().stateDir.empty() && com > 32) {
        if (std::optional<PortInfo> info = lookup.info().device(path); info && info->identified()) {
            const int own = lookup.memory().number(info->identity());
            const PortInfo* keeper = lookup.keeper(own);
            if (keeper && keeper->path == info->path)
                return PortTarget{PortTarget::Kind::none, std::string(name), {}, "COM" + std::to_string(own)};
        }
    }
    return PortTarget{PortTarget::Kind::device, path, {}, {}};
}

}  // namespace

std::string userStateFolder(const char* xdgConfigHome, const char* home) {
    if (xdgConfigHome && *xdgConfigHome == '/') return std::string(xdgConfigHome) + "/sarnel";
    if (home && *home == '/') return std::string(home) + "/.config/sarnel";
    return {};
}

NameSettings environmentNames() {
    NameSettings settings;
    if (const char* dir = std::getenv("VESKOR_PORT_DIR")) settings.portDir = dir;
    settings.stateDir = userStateFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    return settings;
}

int comNumber(std::string_view name) {
    constexpr std::size_t kMaxDigits = 9;  // the number fits an int
    if (name.size() < 4 || name.size() > 3 + kMaxDigits) return 0;
    if (lower(name[0]) != 'c' || lower(name[1]) != 'o' || lower(name[2]) != 'm' || name[3] == '0') return 0;
    int n = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

PortTarget resolvePort(std::string_view name, const NameSettings& settings) {
    Lookup lookup(settings);
    const int com = comNumber(name);
    if (auto t = fromPortFolder(com, lookup)) return *t;
    if (auto t = fromPath(name)) return *t;
    if (auto t = fromRemoteName(name)) return *t;
    if (auto t = fromKeptNumber(com, lookup)) return *t;
    if (auto t = fromTable(name, com, lookup)) return *t;
    if (com == 0) return {PortTarget::Kind::other, std::string(name), {}, {}};
    return {PortTarget::Kind::none, std::string(name), {}, {}};
}

std::vector<NamedPort> namePorts(const NameSettings& settings, std::string* problem) {
    Lookup lookup(settings);
    std::vector<NamedPort> named;
    for (const PortInfo& p : lookup.devices()) named.push_back({{}, p});

    std::optional<PortMemory> updated;
    if (!settings.stateDir.empty()) {
        bool fresh = false;
        for (const NamedPort& n : named)
            fresh = fresh || (n.info.identified() && !lookup.memory().number(n.info.identity()));
        if (fresh) {
            std::string why;
            const bool saved = updatePortMemory(
                settings.stateDir,
                [&](PortMemory& memory) {
                    bool changed = false;
                    for (const NamedPort& n : named) {
                        if (!n.info.identified() || memory.number(n.info.identity())) continue;
                        changed = memory.assign(n.info.identity()) != 0 || changed;
                    }
                    updated = memory;
                    return changed;
                },
                &why);
            if (!saved) updated.reset();
            if (problem) *problem = why;
        } else if (problem) {
            *problem = lookup.memory().problem();
        }
    }
    const PortMemory& memory = updated ? *updated : lookup.memory();

    // A device keeps its number only as the first of the devices that report its identity.
    std::vector<UsbIdentity> kept;
    for (NamedPort& n : named) {
        int com = 0;
        if (n.info.identified()) {
            const UsbIdentity id = n.info.identity();
            bool taken = false;
            for (const UsbIdentity& k : kept) taken = taken || k == id;
            if (!taken) {
                com = memory.number(id);
                if (com) kept.push_back(id);
            }
        }
        if (!com) com = tableNumber(n.info.path);
        n.name = com ? "COM" + std::to_string(com) : n.info.path;
    }
    return named;
}

std::optional<PortInfo> portInfo(std::string_view name, const NameSettings& settings) {
    const PortTarget target = resolvePort(name, settings);
    if (target.kind != PortTarget::Kind::device) return std::nullopt;
    if (settings.info) return settings.info->device(target.path);
    return systemPortInfo()->device(target.path);
}

std::string accessGroup(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP) || st.st_gid == 0) return {};
    group entry{};
    group* found = nullptr;
    char buffer[4096];
    if (::getgrgid_r(st.st_gid, &entry, buffer, sizeof buffer, &found) != 0 || !found) return {};
    return found->gr_name;
}

}  // namespace serial
