// The few tty requests that need the kernel's own headers, which clash with glibc's
// <termios.h>: custom rates through termios2 and the line-error counters.
#pragma once

#include <cstdint>

namespace serial::kernel {

// Sets input and output rate to `rate` bits per second (BOTHER); false when refused.
bool setRate(int fd, std::uint32_t rate);
// The output rate the driver reports; false when it cannot be read.
bool readRate(int fd, std::uint32_t* rate);

struct LineCounters {
    std::uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};
// False on devices without counters (pseudo-terminals).
bool readCounters(int fd, LineCounters* out);

}  // namespace serial::kernel
