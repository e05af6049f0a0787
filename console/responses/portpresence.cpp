#include "console/responses/portpresence.h"

#include <sys/stat.h>

#include <cstdlib>

namespace sarnel {

namespace {

std::string realpath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return path;
    std::string out = real;
    std::free(real);
    return out;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::optional<serial::PortInfo> deviceinfo(const std::string& path, const serial::NameSettings& names) {
    if (names.info) return names.info->device(path);
    return serial::systemPortInfo()->device(path);
}

}  // namespace

std::string productname(const serial::PortInfo& info) {
    if (info.manufacturer.empty() || info.product.rfind(info.manufacturer, 0) == 0) return info.product;
    if (info.product.empty()) return info.manufacturer;
    return info.manufacturer + " " + info.product;
}

OpenPort identifyport(const std::string& name, const serial::NameSettings& names) {
    OpenPort port;
    port.name = name;
    const serial::PortTarget target = serial::resolvePort(name, names);
    // A remote port is shown by its address; there is no device to watch.
    if (target.kind == serial::PortTarget::Kind::remote) port.path = target.path;
    if (target.kind != serial::PortTarget::Kind::device) return port;
    port.path = realpath(target.path);
    // A port named by a link (a by-id name, a port folder entry) also goes when the link goes.
    port.entry = !target.entry.empty() ? target.entry : (port.path != target.path ? target.path : "");
    port.info = deviceinfo(port.path, names);
    return port;
}

bool unplugs(const std::vector<serial::PortChange>& changes, const OpenPort& port) {
    // Only a device in the file system can be unplugged (a remote port's hang-up is a failed call).
    if (port.empty() || port.path.empty() || port.path[0] != '/') return false;
    for (const serial::PortChange& c : changes) {
        switch (c.kind) {
            case serial::PortChange::Kind::removed:
                if (c.path == port.path || (!port.entry.empty() && c.path == port.entry)) return true;
                break;
            case serial::PortChange::Kind::overlooked:
                if (!exists(port.path) || (!port.entry.empty() && !exists(port.entry))) return true;
                break;
            case serial::PortChange::Kind::added:
                break;
        }
    }
    return false;
}

bool bringsback(const serial::PortChange& change, const OpenPort& port, const serial::NameSettings& names) {
    if (change.kind != serial::PortChange::Kind::added || !port.identified()) return false;
    const std::optional<serial::PortInfo> info = deviceinfo(change.path, names);
    return info && info->identified() && info->identity() == port.info->identity();
}

std::string unpluggedtext(const OpenPort& port) {
    const std::string where =
        port.path.empty() || port.path == port.name ? port.name : port.name + " (" + port.path + ")";
    return "the adapter on " + where + " was unplugged";
}

std::string porttext(const OpenPort& port) {
    std::string text = port.name;
    if (!port.path.empty() && port.path != port.name) text += "  " + port.path;
    if (port.info) {
        if (const std::string p = productname(*port.info); !p.empty()) text += "  " + p;
        if (!port.info->serial.empty()) text += "  serial " + port.info->serial;
    }
    return text;
}

std::string porttip(const std::string& path, const std::optional<serial::PortInfo>& info) {
    std::string tip = path;
    if (!info) return tip;
    if (const std::string p = productname(*info); !p.empty()) tip += "\n" + p;
    if (info->usb) tip += "\nUSB " + info->vendorId + ":" + info->productId;
    if (!info->serial.empty()) tip += "\nserial number " + info->serial;
    if (!info->byId.empty()) tip += "\n" + info->byId;
    return tip;
}

PortPresence::PortPresence(serial::NameSettings names, const serial::WatchOptions& options)
    : names_(std::move(names)), watcher_(std::make_unique<serial::PortWatcher>(options)) {}

PortPresence::PortPresence()
    : PortPresence(serial::environmentNames(),
                   serial::systemWatchOptions(serial::environmentNames().portDir)) {}

PortPresence::~PortPresence() = default;

int PortPresence::descriptor() const {
    return watcher_->descriptor();
}

const std::string& PortPresence::method() const {
    return watcher_->method();
}

void PortPresence::opened(const std::string& name) {
    open_ = identifyport(name, names_);
    lost_ = {};
}

void PortPresence::failed() {
    if (open_.empty()) return;
    lost_ = open_;
    open_ = {};
    lostSeen_ = false;
}

PortPresence::Change PortPresence::take() {
    const std::vector<serial::PortChange> changes = watcher_->take();
    if (!open_.empty() && unplugs(changes, open_)) {
        lost_ = open_;
        open_ = {};
        lostSeen_ = true;
        return Change::unplugged;
    }
    if (!lost_.empty() && !lostSeen_ && unplugs(changes, lost_)) {
        lostSeen_ = true;
        return Change::unplugged;
    }
    if (!lost_.empty()) {
        for (const serial::PortChange& c : changes) {
            if (bringsback(c, lost_, names_)) return Change::returned;
        }
    }
    return Change::none;
}

}  // namespace sarnel
