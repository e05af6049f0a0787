// How openDevice reaches the two backends.
#pragma once

#include <serial/device.h>

#include <memory>
#include <string>

namespace serial {

// A termios device by path (nullptr and `why` on failure).
std::unique_ptr<Device> openTermios(const std::string& path, Failure* why);
// An end of a registered null-modem pair; nullptr with `why` notFound when no pair end has that
// name, busy when it is open already.
std::unique_ptr<Device> openPairEnd(const std::string& name, Code* why);

}  // namespace serial
