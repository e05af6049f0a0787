#include "console/responses/receivepath.h"

#include "console/base/alert.h"
#include "console/base/consolestate.h"

namespace sarnel {

void caprxbuffer(std::string& buffer, std::size_t cap) {
    if (buffer.size() <= cap) return;
    const std::size_t start = buffer.rfind('!');
    if (start == std::string::npos) {
        buffer.clear();
        return;
    }
    buffer.erase(0, start);
    if (buffer.size() > cap) buffer.clear();
}

void charreceived(ReceiveHost& host) {
    // An event that was already on its way when the port was closed (a rescan, "Select...",
    // "Update") has nothing to read; reading a closed control would raise a false alarm.
    if (!host.rs232().isOpen()) return;
    try {
        host.rxbuffer() += host.rs232().read();
    } catch (const ConsoleError& error) {
        reportError("Veskor error", error, 2, 12);
        host.selectNoPort();
        host.rs232().close();
        portopen() = 0;
        return;
    }
    host.decode();
    caprxbuffer(host.rxbuffer());
}

}  // namespace sarnel
