// The main window's link to the adapter: the window's serial control, the view it shows in and
// the console's state. Every frame the console sends to the adapter goes through ComWrite;
// every line event of the control arrives in charreceived, which decodes the replies into the
// view's bus activity list; compile is the "Compile/Transmit" action. sarnel-cli and the tests
// drive the same class over views of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "console/base/consolestate.h"
#include "console/base/serialcontrol.h"
#include "console/link/consoleview.h"
#include "console/link/linkwatcher.h"

namespace sarnel {

// The TXD window's form of a frame: a final CR LF, CR or LF becomes "[nl]", "[cr]" or "[lf]".
std::string txdform(const std::string& text);

class AdapterLink {
public:
    // `lost` puts the port list back at "Select..." (its selection handler runs) after a call
    // of the control has failed. The view, the control and the state outlive the link.
    AdapterLink(ConsoleView& view, SerialControl& rs232, ConsoleState& state, std::function<void()> lost);

    // Sends `text` and then pauses `wait` hundredths of a second (none for 0 or less). Without
    // an open port the RXD window shows "[No port is selected]" and nothing is sent. A failing
    // control call shows the "ComWrite error" alert, returns the port list to "Select...",
    // closes the port and clears the port-open flag; then there is no pause. Never throws
    // ConsoleError.
    void ComWrite(const std::string& text, std::int16_t wait);

    // The handler of the control's EvtCharReceived: the waiting bytes join the receive buffer
    // and the decoder takes the complete replies out of it (process(255, "")), then the rest is
    // kept within its cap. A failing Read shows the "Veskor error" alert, returns the port list
    // to "Select...", closes the port and clears the port-open flag; the buffer keeps what it
    // held and nothing is decoded. An event that arrives after the port was closed is ignored.
    // Never throws ConsoleError.
    void charreceived();

    // The "Compile/Transmit" action: empties the bus activity list unless "Continuous Rx" is
    // ticked, compiles a copy of the queue, and on success writes the frame length to
    // `tokencount` and sends the frame with a pause of 1 hundredth. On an error the alert has
    // been shown, nothing is sent and `tokencount` keeps its text.
    void compile();

    // Tells `watcher` of every frame written and every reply decoded from now on; null: no
    // one. It outlives the link or is taken away first.
    void watch(LinkWatcher* watcher) { watcher_ = watcher; }
    LinkWatcher* watcher() const { return watcher_; }

private:
    // After a failed call: the port list back at "Select...", the port closed, the flag cleared.
    void drop();

    ConsoleView& view_;
    SerialControl& rs232_;
    ConsoleState& state_;
    std::function<void()> lost_;
    LinkWatcher* watcher_ = nullptr;
};

}  // namespace sarnel
