// The port a command has open, watched for its unplugging by the command's own waits: the
// hot-plug watcher's descriptor is served beside the signal descriptor (Interrupts), so an
// adapter pulled out ends a wait at once instead of after the time-out.
#pragma once

#include <functional>
#include <string>

#include "console/cli/interrupts.h"
#include "console/responses/portpresence.h"

namespace sarnel::cli {

class UnplugWatch {
public:
    // Starts watching before the port is opened (nothing can go unseen in between) and
    // looks the port up. `waits` must outlive the watch.
    UnplugWatch(Interrupts& waits, const std::string& portName);
    ~UnplugWatch();
    UnplugWatch(const UnplugWatch&) = delete;
    UnplugWatch& operator=(const UnplugWatch&) = delete;

    bool unplugged() const { return unplugged_; }
    // "the adapter on COM97 (/dev/ttyUSB0) was unplugged"
    std::string text() const { return unpluggedtext(presence_.lost()); }
    // Runs once, in the wait that sees the unplug (flash ends its run there).
    void onUnplug(std::function<void()> call) { onUnplug_ = std::move(call); }

private:
    void changed();

    Interrupts& waits_;
    PortPresence presence_;
    bool unplugged_ = false;
    std::function<void()> onUnplug_;
};

}  // namespace sarnel::cli
