// What watches the main window's link to the adapter: every frame handed to the control, and
// every reply the decoder takes out of the receive buffer. The session log, the status bar's
// reply timer and the bench windows hang off it; the activity list and RXD are not affected.
#pragma once

#include <string>
#include <string_view>

namespace sarnel {

class LinkWatcher {
public:
    virtual ~LinkWatcher() = default;
    // `frame` was written to the open port (as given to ComWrite, e.g. ending in CR).
    virtual void sent(const std::string& frame) = 0;
    // A reply decoded (without "!" and CR) and the bus activity lines it added. Called from
    // inside the decoder: it must not send.
    virtual void replied(std::string_view reply, std::string_view lines) = 0;
};

}  // namespace sarnel
