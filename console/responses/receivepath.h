// The receive buffer's limit. The main window's link (AdapterLink::charreceived), the
// bootloader window and sarnel-cli's decode keep what they have not yet decoded within it.
#pragma once

#include <cstddef>
#include <string>

namespace sarnel {

// The receive buffer never holds more than this many bytes once a read has been decoded.
inline constexpr std::size_t kRxBufferCap = 64 * 1024;

// Keeps an undecoded remainder within `cap`: past it, the bytes before the last "!" go (they
// can no longer belong to a reply); a remainder that is still too long, or that holds no "!",
// cannot become a reply and is emptied. Buffers within the cap are left alone.
void caprxbuffer(std::string& buffer, std::size_t cap = kRxBufferCap);

}  // namespace sarnel
