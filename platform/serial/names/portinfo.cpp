// Port information from libudev: the kernel's device tree for the ids and strings, udev's
// database for the by-id links.
#include <libudev.h>
#include <serial/portinfo.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace serial {

std::string UsbIdentity::text() const {
    return vendorId + ":" + productId + " " + interface + " " + serial;
}

std::string cleanSerial(const std::string& reported) {
    const std::size_t first = reported.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const std::size_t last = reported.find_last_not_of(" \t");
    std::string serial = reported.substr(first, last - first + 1);
    for (unsigned char c : serial) {
        if (c < 0x20 || c == 0x7f) return {};
    }
    return serial;
}

std::optional<PortInfo> FakePortInfo::device(const std::string& path) {
    std::string real = path;
    if (char* r = ::realpath(path.c_str(), nullptr)) {
        real = r;
        std::free(r);
    }
    for (const PortInfo& p : ports) {
        if (p.path == path || p.path == real) return p;
    }
    return std::nullopt;
}

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

std::string text(const char* value) {
    return value ? std::string(value) : std::string();
}

std::string lowerHex(std::string id) {
    for (char& c : id) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return id;
}

class UdevPortInfo final : public PortInfoSource {
public:
    UdevPortInfo() : udev_(udev_new()) {}

    std::vector<PortInfo> devices() override {
        std::vector<PortInfo> found;
        if (!udev_) return found;
        UdevPtr<udev_enumerate> list(udev_enumerate_new(udev_.get()));
        if (!list) return found;
        udev_enumerate_add_match_subsystem(list.get(), "tty");
        udev_enumerate_scan_devices(list.get());
        udev_list_entry* entry;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(list.get())) {
            UdevPtr<udev_device> dev(
                udev_device_new_from_syspath(udev_.get(), udev_list_entry_get_name(entry)));
            if (dev) {
                if (std::optional<PortInfo> info = describe(dev.get())) found.push_back(std::move(*info));
            }
        }
        std::sort(found.begin(), found.end(),
                  [](const PortInfo& a, const PortInfo& b) { return a.path < b.path; });
        return found;
    }

    std::optional<PortInfo> device(const std::string& path) override {
        struct stat st {};
        if (!udev_ || ::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return std::nullopt;
        UdevPtr<udev_device> dev(udev_device_new_from_devnum(udev_.get(), 'c', st.st_rdev));
        if (!dev) return std::nullopt;
        const char* subsystem = udev_device_get_subsystem(dev.get());
        if (!subsystem || std::strcmp(subsystem, "tty") != 0) return std::nullopt;
        return describe(dev.get());
    }

private:
    // A serial port is a tty with a device behind it: virtual terminals, pseudo-terminals and
    // the console have none.
    static std::optional<PortInfo> describe(udev_device* dev) {
        const char* node = udev_device_get_devnode(dev);
        udev_device* parent = udev_device_get_parent(dev);
        if (!node || !parent) return std::nullopt;
        PortInfo info;
        info.path = node;
        udev_list_entry* link;
        udev_list_entry_foreach(link, udev_device_get_devlinks_list_entry(dev)) {
            const std::string name = udev_list_entry_get_name(link);
            if (name.rfind("/dev/serial/by-id/", 0) == 0) {
                info.byId = name;
                break;
            }
        }
        for (udev_device* d = parent; d && info.driver.empty(); d = udev_device_get_parent(d))
            info.driver = text(udev_device_get_driver(d));

        udev_device* usb = udev_device_get_parent_with_subsystem_devtype(dev, "usb", "usb_device");
        if (usb) {
            info.usb = true;
            info.vendorId = lowerHex(text(udev_device_get_sysattr_value(usb, "idVendor")));
            info.productId = lowerHex(text(udev_device_get_sysattr_value(usb, "idProduct")));
            info.manufacturer = text(udev_device_get_sysattr_value(usb, "manufacturer"));
            info.product = text(udev_device_get_sysattr_value(usb, "product"));
            info.serial = cleanSerial(text(udev_device_get_sysattr_value(usb, "serial")));
            if (udev_device* intf =
                    udev_device_get_parent_with_subsystem_devtype(dev, "usb", "usb_interface"))
                info.interface = lowerHex(text(udev_device_get_sysattr_value(intf, "bInterfaceNumber")));
            if (info.interface.empty()) info.interface = "00";
        }
        return info;
    }

    UdevPtr<udev> udev_;
};

}  // namespace

std::unique_ptr<PortInfoSource> systemPortInfo() {
    return std::make_unique<UdevPortInfo>();
}

}  // namespace serial
