// The write path: the only way the main window sends a frame to the adapter. It shows the
// frame in the TXD window, prepares the receive side for the reply, writes the frame through
// the window's serial control and pauses while window events (the reply among them) run.
#pragma once

#include <cstdint>
#include <string>

#include "console/base/consolestate.h"
#include "console/base/serialcontrol.h"

namespace sarnel {

// The TXD window's form of a frame: a final CR LF, CR or LF becomes "[nl]", "[cr]" or "[lf]".
std::string txdform(const std::string& text);

// What the write path needs of the main window.
class WriteHost {
public:
    virtual ~WriteHost() = default;
    virtual SerialControl& rs232() = 0;
    virtual void setTxd(const std::string& text) = 0;  // txbufferbox
    virtual void setRxd(const std::string& text) = 0;  // rxbufferbox
    virtual void emptyRxBuffer() = 0;                  // rxbuffer
    // Puts the port list back at "Select..."; its selection handler runs (and closes the port
    // while the port-open flag is set).
    virtual void selectNoPort() = 0;
};

// Sends `text` and then pauses `wait` hundredths of a second (none for 0 or less). Without an
// open port the RXD window shows "[No port is selected]" and nothing is sent. A failing control
// call shows the "ComWrite error" alert, returns the port list to "Select...", closes the port
// and clears the port-open flag; then there is no pause. Never throws ConsoleError.
void ComWrite(WriteHost& host, const std::string& text, std::int16_t wait);

}  // namespace sarnel
