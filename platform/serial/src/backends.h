// How openDevice reaches the backends.
#pragma once

#include <serial/device.h>

#include <chrono>
#include <memory>
#include <string>

namespace serial {

// A termios device by path (nullptr and `why` on failure).
std::unique_ptr<Device> openTermios(const std::string& path, Failure* why);
// An end of a registered null-modem pair; nullptr with `why` notFound when no pair end has that
// name, busy when it is open already.
std::unique_ptr<Device> openPairEnd(const std::string& name, Code* why);

// How long a remote port waits for its server. A server that answers at all answers within a
// round trip; one that stays silent is not waited for long.
struct RemoteLimits {
    std::chrono::milliseconds connect{5000};
    // The server's agreement to com-port control, and its answer to a line setting or break.
    std::chrono::milliseconds reply{1500};
    // The answer to a DTR or RTS control. A server of a port without modem lines (ser2net on a
    // pseudo-terminal) gives none; the port is then taken to have none.
    std::chrono::milliseconds modemReply{250};
    // How long a raw port is watched after connecting for a server that turns it away at once.
    std::chrono::milliseconds settle{100};
    // How long a server that turns us away at once is tried again.
    std::chrono::milliseconds busy{2000};
};

// A remote port by its address (names.h), e.g. "rfc2217://bench7:4001" (nullptr and `why` on
// failure: a malformed address, a host that is not found, a refused or unanswered connection,
// a server without com-port control).
std::unique_ptr<Device> openRemote(const std::string& address, Failure* why, const RemoteLimits& limits = {});

}  // namespace serial
