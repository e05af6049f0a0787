#include "console/cli/unplugwatch.h"

namespace sarnel::cli {

UnplugWatch::UnplugWatch(Interrupts& waits, const std::string& portName) : waits_(waits) {
    presence_.opened(portName);
    waits_.serve(presence_.descriptor(), [this] { changed(); });
}

UnplugWatch::~UnplugWatch() {
    waits_.serve(-1, {});
}

void UnplugWatch::changed() {
    if (presence_.take() == PortPresence::Change::unplugged && !unplugged_) {
        unplugged_ = true;
        if (onUnplug_) onUnplug_();
    }
}

}  // namespace sarnel::cli
