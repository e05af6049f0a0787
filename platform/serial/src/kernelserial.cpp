#include "kernelserial.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace serial::kernel {

bool setRate(int fd, std::uint32_t rate) {
    struct termios2 t;
    if (::ioctl(fd, TCGETS2, &t) < 0) return false;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = rate;
    t.c_ospeed = rate;
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

bool readRate(int fd, std::uint32_t* rate) {
    struct termios2 t;
    if (::ioctl(fd, TCGETS2, &t) < 0) return false;
    *rate = t.c_ospeed;
    return true;
}

bool readCounters(int fd, LineCounters* out) {
    struct serial_icounter_struct c {};
    if (::ioctl(fd, TIOCGICOUNT, &c) < 0) return false;
    out->frame = static_cast<std::uint32_t>(c.frame);
    out->overrun = static_cast<std::uint32_t>(c.overrun);
    out->parity = static_cast<std::uint32_t>(c.parity);
    out->brk = static_cast<std::uint32_t>(c.brk);
    out->bufOverrun = static_cast<std::uint32_t>(c.buf_overrun);
    return true;
}

}  // namespace serial::kernel
