// Serial devices coming and going. A watcher has one descriptor that becomes readable when
// something changed; the host serves it from its own event loop (a socket notifier in the
// windows, the waits of sarnel-cli) and takes the changes. There is no thread and no polling:
// with nothing happening the watcher costs nothing.
//
// Where the udev daemon runs, its monitor reports serial devices as udev has finished with
// them (permissions set, links made). Elsewhere (containers, minimal systems) inotify on /dev
// reports device nodes as they appear and disappear. Either way inotify also watches the
// folders named in the options: the port folder, whose COMn entries come and go with
// simulated adapters, and /dev/pts.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace serial {

struct PortChange {
    enum class Kind {
        added,
        removed,
        // Changes were lost (the system's queue overflowed): whatever the host relies on may
        // have changed; it should look again.
        overlooked,
    };
    Kind kind = Kind::added;
    // The device node ("/dev/ttyUSB0") or the folder entry ("/tmp/ports/COM3") that came or
    // went; empty for `overlooked`.
    std::string path;
};

struct WatchOptions {
    bool udev = true;                  // the udev monitor when its daemon runs, else inotify on /dev
    std::string devFolder = "/dev";    // where inotify looks for device nodes without udev
    std::vector<std::string> folders;  // watched with inotify as well: every entry counts
};

// The options for this system: udev or /dev, /dev/pts, and `portDir` when it is given.
WatchOptions systemWatchOptions(const std::string& portDir);

class PortWatcher {
public:
    // Starts watching. Never fails whole: a folder that cannot be watched is left out and
    // named by problem(); with nothing watchable the descriptor never becomes readable.
    explicit PortWatcher(const WatchOptions& options);
    ~PortWatcher();
    PortWatcher(const PortWatcher&) = delete;
    PortWatcher& operator=(const PortWatcher&) = delete;

    // Readable (poll: POLLIN) while changes wait to be taken. Owned by the watcher.
    int descriptor() const;
    // The changes that came since the last call, in order; never blocks.
    std::vector<PortChange> take();
    // "udev monitor" or "inotify on /dev".
    const std::string& method() const;
    // What could not be watched; empty when everything is.
    const std::string& problem() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace serial
