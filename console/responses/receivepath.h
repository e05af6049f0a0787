// The main window's receive path: on every line feed the serial control reports, the waiting
// bytes join the receive buffer and the decoder takes the complete replies out of it.
#pragma once

#include <cstddef>
#include <string>

#include "console/base/serialcontrol.h"

namespace sarnel {

// The receive buffer never holds more than this many bytes once a read has been decoded.
inline constexpr std::size_t kRxBufferCap = 64 * 1024;

// Keeps an undecoded remainder within `cap`: past it, the bytes before the last "!" go (they
// can no longer belong to a reply); a remainder that is still too long, or that holds no "!",
// cannot become a reply and is emptied. Buffers within the cap are left alone.
void caprxbuffer(std::string& buffer, std::size_t cap = kRxBufferCap);

// What the receive path needs of the main window.
class ReceiveHost {
public:
    virtual ~ReceiveHost() = default;
    virtual SerialControl& rs232() = 0;
    virtual std::string& rxbuffer() = 0;
    // process(255, ""): decodes and removes every complete reply in the receive buffer.
    virtual void decode() = 0;
    // Puts the port list back at "Select..." (its selection handler runs).
    virtual void selectNoPort() = 0;
};

// The handler of the control's EvtCharReceived. A failing Read shows the "Veskor error" alert,
// returns the port list to "Select...", closes the port and clears the port-open flag; the
// buffer keeps what it held and nothing is decoded. An event that arrives after the port was
// closed is ignored. Never throws ConsoleError.
void charreceived(ReceiveHost& host);

}  // namespace sarnel
