#include <libudev.h>
#include <serial/portwatch.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sysio/sysio.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>

namespace serial {

namespace {

constexpr std::uint32_t kEntryEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

// Device nodes in /dev that may be serial ports: ttyS0, ttyUSB0, ttyACM0, ttyAMA0, rfcomm0;
// not tty, tty1 (virtual terminals) or anything else.
bool serialNodeName(const std::string& name) {
    if (name.rfind("rfcomm", 0) == 0) return true;
    return name.size() > 3 && name.rfind("tty", 0) == 0 && std::isalpha(static_cast<unsigned char>(name[3]));
}

bool udevRuns(udev* u) {
    udev_queue* queue = udev_queue_new(u);
    if (!queue) return false;
    const bool active = udev_queue_get_udev_is_active(queue) != 0;
    udev_queue_unref(queue);
    return active;
}

}  // namespace

WatchOptions systemWatchOptions(const std::string& portDir) {
    WatchOptions options;
    options.folders.push_back("/dev/pts");
    if (!portDir.empty()) options.folders.push_back(portDir);
    return options;
}

struct PortWatcher::Impl {
    int epoll = -1;
    int inotify = -1;
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    std::map<int, std::pair<std::string, bool>> watches;  // descriptor: folder, serial nodes only
    std::string method;
    std::string problem;

    void addProblem(const std::string& what) { problem += (problem.empty() ? "" : "; ") + what; }

    void watch(const std::string& folder, bool serialOnly) {
        const int wd = ::inotify_add_watch(inotify, folder.c_str(), kEntryEvents | IN_ONLYDIR);
        if (wd < 0) {
            addProblem(folder + " cannot be watched (" + std::strerror(errno) + ")");
            return;
        }
        watches[wd] = {folder, serialOnly};
    }

    void takeInotify(std::vector<PortChange>& changes) {
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t n = sysio::read(inotify, buffer, sizeof buffer);
            if (n <= 0) return;
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if (event->mask & IN_Q_OVERFLOW) {
                    changes.push_back({PortChange::Kind::overlooked, {}});
                    continue;
                }
                const auto w = watches.find(event->wd);
                if (w == watches.end() || event->len == 0) continue;
                const std::string name = event->name;
                if (w->second.second && !serialNodeName(name)) continue;
                const bool added = event->mask & (IN_CREATE | IN_MOVED_TO);
                changes.push_back({added ? PortChange::Kind::added : PortChange::Kind::removed,
                                   w->second.first + "/" + name});
            }
        }
    }

    void takeUdev(std::vector<PortChange>& changes) {
        for (;;) {
            errno = 0;
            udev_device* dev = udev_monitor_receive_device(monitor);
            if (!dev) {
                if (errno == ENOBUFS) changes.push_back({PortChange::Kind::overlooked, {}});
                return;
            }
            const char* action = udev_device_get_action(dev);
            const char* node = udev_device_get_devnode(dev);
            if (action && node) {
                if (std::strcmp(action, "add") == 0) changes.push_back({PortChange::Kind::added, node});
                if (std::strcmp(action, "remove") == 0) changes.push_back({PortChange::Kind::removed, node});
            }
            udev_device_unref(dev);
        }
    }
};

PortWatcher::PortWatcher(const WatchOptions& options) : impl_(std::make_unique<Impl>()) {
    Impl& w = *impl_;
    w.epoll = ::epoll_create1(EPOLL_CLOEXEC);
    w.inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (w.epoll < 0 || w.inotify < 0) {
        w.addProblem(std::string("no watch can be set up (") + std::strerror(errno) + ")");
        return;
    }
    epoll_event in{};
    in.events = EPOLLIN;
    in.data.fd = w.inotify;
    ::epoll_ctl(w.epoll, EPOLL_CTL_ADD, w.inotify, &in);

    if (options.udev) {
        w.context = udev_new();
        if (w.context && udevRuns(w.context)) {
            w.monitor = udev_monitor_new_from_netlink(w.context, "udev");
            if (w.monitor &&
                udev_monitor_filter_add_match_subsystem_devtype(w.monitor, "tty", nullptr) >= 0 &&
                udev_monitor_enable_receiving(w.monitor) >= 0) {
                epoll_event ev{};
                ev.events = EPOLLIN;
                ev.data.fd = udev_monitor_get_fd(w.monitor);
                ::epoll_ctl(w.epoll, EPOLL_CTL_ADD, ev.data.fd, &ev);
                w.method = "udev monitor";
            } else if (w.monitor) {
                udev_monitor_unref(w.monitor);
                w.monitor = nullptr;
            }
        }
    }
    if (!w.monitor) {
        w.watch(options.devFolder, true);
        w.method = "inotify on " + options.devFolder;
    }
    for (const std::string& folder : options.folders) w.watch(folder, false);
}

PortWatcher::~PortWatcher() {
    Impl& w = *impl_;
    if (w.monitor) udev_monitor_unref(w.monitor);
    if (w.context) udev_unref(w.context);
    if (w.inotify >= 0) ::close(w.inotify);
    if (w.epoll >= 0) ::close(w.epoll);
}

int PortWatcher::descriptor() const {
    return impl_->epoll;
}

std::vector<PortChange> PortWatcher::take() {
    std::vector<PortChange> changes;
    if (impl_->inotify >= 0) impl_->takeInotify(changes);
    if (impl_->monitor) impl_->takeUdev(changes);
    return changes;
}

const std::string& PortWatcher::method() const {
    return impl_->method;
}

const std::string& PortWatcher::problem() const {
    return impl_->problem;
}

}  // namespace serial
