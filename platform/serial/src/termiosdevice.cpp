// The termios backend: real serial ports and pseudo-terminals.
//
// The descriptor is watched by the reader of WatchedDevice (watched.h). What is the terminal's
// own: the received bytes are unescaped from the PARMRK marks by which the line discipline
// reports breaks and parity/framing errors, the modem lines of devices that have them are
// sampled while someone waits for their events, and settings go through termios.
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sysio/sysio.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "backends.h"
#include "core.h"
#include "errors.h"
#include "kernelserial.h"
#include "markdecoder.h"
#include "watched.h"

namespace serial {

namespace {

speed_t standardSpeed(std::uint32_t rate) {
    switch (rate) {
        case 110:
            return B110;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return 0;  // no constant: termios2 with BOTHER
    }
}

class TermiosDevice final : public WatchedDevice {
public:
    TermiosDevice(int fd, int wake) : WatchedDevice(fd, wake) {
        int bits;
        modemLines_ = sysio::ioctl(fd_, TIOCMGET, &bits) == 0;
        if (modemLines_) lastModem_ = bits;
        countersOk_ = kernel::readCounters(fd_, &counters_);
    }

    ~TermiosDevice() override {
        stopReader();
        sysio::ioctl(fd_, TIOCNXCL);
    }

    Code getState(ControlBlock* out) override {
        auto l = lock();
        if (hungUp_) return Code::hungUp;
        termios t;
        if (::tcgetattr(fd_, &t) < 0) return codeForErrno(errno);
        ControlBlock b = dcb_;
        std::uint32_t rate;
        if (kernel::readRate(fd_, &rate)) b.baudRate = rate;
        switch (t.c_cflag & CSIZE) {
            case CS5:
                b.byteSize = 5;
                break;
            case CS6:
                b.byteSize = 6;
                break;
            case CS7:
                b.byteSize = 7;
                break;
            default:
                b.byteSize = 8;
                break;
        }
        if (!(t.c_cflag & PARENB))
            b.parity = kParityNone;
        else if (t.c_cflag & CMSPAR)
            b.parity = (t.c_cflag & PARODD) ? kParityMark : kParitySpace;
        else
            b.parity = (t.c_cflag & PARODD) ? kParityOdd : kParityEven;
        if (!(t.c_cflag & CSTOPB))
            b.stopBits = kOneStopBit;
        else
            b.stopBits = dcb_.stopBits == kOne5StopBits ? kOne5StopBits : kTwoStopBits;
        bool crtscts = (t.c_cflag & CRTSCTS) != 0;
        b.outxCtsFlow = crtscts;
        if (crtscts)
            b.rtsControl = kLineHandshake;
        else if (b.rtsControl == kLineHandshake)
            b.rtsControl = kLineEnable;
        b.outX = (t.c_iflag & IXON) != 0;
        b.inX = (t.c_iflag & IXOFF) != 0;
        b.parityCheck = (t.c_iflag & INPCK) != 0;
        b.xonChar = t.c_cc[VSTART];
        b.xoffChar = t.c_cc[VSTOP];
        *out = b;
        return Code::ok;
    }

    Code setState(const ControlBlock& b) override {
        if (b.byteSize < 5 || b.byteSize > 8 || b.parity > kParitySpace || b.stopBits > kTwoStopBits)
            return Code::invalidArgument;
        auto l = lock();
        if (hungUp_) return Code::hungUp;
        termios t;
        if (::tcgetattr(fd_, &t) < 0) return codeForErrno(errno);
        const termios before = t;
        std::uint32_t rateBefore = 0;
        const bool rateKnown = kernel::readRate(fd_, &rateBefore);
        // A refused block changes nothing: what was there is put back.
        auto refuse = [&](Code code) {
            ::tcsetattr(fd_, TCSANOW, &before);
            if (rateKnown && !standardSpeed(rateBefore)) kernel::setRate(fd_, rateBefore);
            return code;
        };
        // Raw: nothing translated, nothing echoed, no signals. PARMRK where the line can report
        // conditions (the driver keeps line counters: UARTs, USB adapters), so that breaks and,
        // with INPCK, parity and framing errors arrive marked in the data. A pseudo-terminal has
        // no line: without PARMRK the kernel keeps its fast raw path.
        t.c_iflag = countersOk_ ? PARMRK : 0;
        if (b.parityCheck && b.parity != kParityNone) t.c_iflag |= INPCK;
        if (b.outX) t.c_iflag |= IXON;
        if (b.inX) t.c_iflag |= IXOFF;
        t.c_oflag = 0;
        t.c_lflag = 0;
        t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
        t.c_cflag |= CREAD | CLOCAL;
        static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
        t.c_cflag |= sizes[b.byteSize - 5];
        switch (b.parity) {
            case kParityOdd:
                t.c_cflag |= PARENB | PARODD;
                break;
            case kParityEven:
                t.c_cflag |= PARENB;
                break;
            case kParityMark:
                t.c_cflag |= PARENB | CMSPAR | PARODD;
                break;
            case kParitySpace:
                t.c_cflag |= PARENB | CMSPAR;
                break;
            default:
                break;
        }
        if (b.stopBits != kOneStopBit) t.c_cflag |= CSTOPB;  // 1.5 with 5 data bits, as UARTs do
        if (b.outxCtsFlow || b.rtsControl == kLineHandshake) t.c_cflag |= CRTSCTS;
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        t.c_cc[VSTART] = b.xonChar;
        t.c_cc[VSTOP] = b.xoffChar;
        speed_t sp = standardSpeed(b.baudRate);
        if (sp) cfsetspeed(&t, sp);
        if (::tcsetattr(fd_, TCSANOW, &t) < 0) return refuse(codeForErrno(errno));
        if (!sp && !kernel::setRate(fd_, b.baudRate)) return refuse(Code::failed);
        // tcsetattr succeeds when any change applied: check that the rate and the whole format
        // took (a pseudo-terminal, for one, keeps 8 data bits and no parity whatever it is told).
        termios back;
        std::uint32_t rate = 0;
        if (::tcgetattr(fd_, &back) < 0 || !kernel::readRate(fd_, &rate)) return refuse(Code::failed);
        const tcflag_t format = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
        if (rate != b.baudRate || (back.c_cflag & format) != (t.c_cflag & format))
            return refuse(Code::invalidArgument);
        dcb_ = b;
        decoder_.reset();
        // Lines under enable/disable follow the block; handshake lines are the driver's.
        if (b.dtrControl != kLineHandshake)
            setLine(TIOCM_DTR, b.dtrControl == kLineEnable);
        else
            setLine(TIOCM_DTR, true);
        if (b.rtsControl != kLineHandshake) setLine(TIOCM_RTS, b.rtsControl == kLineEnable);
        l.unlock();
        kick();
        return Code::ok;
    }

    Code setQueueSizes(std::uint32_t, std::uint32_t) override {
        auto l = lock();
        return hungUp_ ? Code::hungUp : Code::ok;  // the queue is fixed at its size
    }

    Code escape(Escape what) override {
        auto l = lock();
        if (hungUp_) return Code::hungUp;
        switch (what) {
            case Escape::setXoff:
                // Ours and what the kernel still holds: both stop.
                xoffHeld_ = true;
                return ::tcflow(fd_, TCOOFF) == 0 ? Code::ok : codeForErrno(errno);
            case Escape::setXon:
                xoffHeld_ = false;
                if (::tcflow(fd_, TCOON) < 0) return codeForErrno(errno);
                l.unlock();
                kick();
                return Code::ok;
            case Escape::setRts:
                return setLine(TIOCM_RTS, true);
            case Escape::clrRts:
                return setLine(TIOCM_RTS, false);
            case Escape::setDtr:
                return setLine(TIOCM_DTR, true);
            case Escape::clrDtr:
                return setLine(TIOCM_DTR, false);
            case Escape::setBreak:
                return sysio::ioctl(fd_, TIOCSBRK, nullptr) == 0 ? Code::ok : codeForErrno(errno);
            case Escape::clrBreak:
                return sysio::ioctl(fd_, TIOCCBRK, nullptr) == 0 ? Code::ok : codeForErrno(errno);
        }
        return Code::invalidArgument;
    }

    Code modemStatus(std::uint32_t* bits) override {
        auto l = lock();
        if (hungUp_) return Code::hungUp;
        if (!modemLines_) return Code::notSupported;
        int m;
        if (sysio::ioctl(fd_, TIOCMGET, &m) < 0) return codeForErrno(errno);
        *bits = modemBits(m);
        return Code::ok;
    }

private:
    static std::uint32_t modemBits(int m) {
        std::uint32_t b = 0;
        if (m & TIOCM_CTS) b |= kCtsOn;
        if (m & TIOCM_DSR) b |= kDsrOn;
        if (m & TIOCM_RI) b |= kRingOn;
        if (m & TIOCM_CD) b |= kCdOn;
        return b;
    }

    Code setLine(int bit, bool on) {
        if (!modemLines_) return Code::notSupported;
        return sysio::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) == 0 ? Code::ok : codeForErrno(errno);
    }

    // DSR output flow control has no driver support on Linux: output waits here while the
    // sampled DSR line is off.
    bool holdingLocked() const override {
        return xoffHeld_ || (dcb_.outxDsrFlow && modemLines_ && !(lastModem_ & TIOCM_DSR));
    }
    bool sampleModemLocked() const {
        return modemLines_ && ((mask_ & (kEvCts | kEvDsr | kEvCd | kEvRing)) || dcb_.outxDsrFlow);
    }

    void collectErrorsLocked() override {
        if (!countersOk_) return;
        kernel::LineCounters now;
        if (!kernel::readCounters(fd_, &now)) return;
        std::uint32_t e = 0;
        if (now.frame != counters_.frame) e |= kFramingError;
        if (now.parity != counters_.parity) e |= kParityError;
        if (now.overrun != counters_.overrun) e |= kOverrun;
        if (now.bufOverrun != counters_.bufOverrun) e |= kRxOverflow;
        counters_ = now;
        // Breaks are taken from the marks in the data, which say exactly when they came.
        if (e) addErrorsLocked(e);
    }

    void purgeBackendLocked(std::uint32_t flags) override {
        if (flags & kPurgeRxClear) {
            ::tcflush(fd_, TCIFLUSH);
            decoder_.reset();
        }
        if (flags & kPurgeTxClear) ::tcflush(fd_, TCOFLUSH);
    }

    void takeLocked(const std::uint8_t* p, std::size_t n) override {
        if (!countersOk_) {
            receiveLocked(p, n);
            return;
        }
        if (decoded_.size() < n + 1) decoded_.resize(n + 1);  // a mark held back may come first
        auto out = decoder_.decode(p, n, decoded_.data());
        receiveLocked(decoded_.data(), out.length);
        if (out.breakSeen) addErrorsLocked(kBreakDetected);
        if (out.errorSeen) {
            std::uint32_t before = errors_;
            collectErrorsLocked();
            if (errors_ == before) addErrorsLocked(kParityError);
        }
    }

    // Modem-line changes are sampled, since a thread in TIOCMIWAIT cannot be woken.
    int pollLimitLocked() override { return sampleModemLocked() ? 20 : -1; }

    void afterWakeLocked() override {
        if (!sampleModemLocked()) return;
        int m;
        if (sysio::ioctl(fd_, TIOCMGET, &m) != 0) return;
        int changed = m ^ lastModem_;
        std::uint32_t ev = 0;
        if (changed & TIOCM_CTS) ev |= kEvCts;
        if (changed & TIOCM_DSR) ev |= kEvDsr;
        if (changed & TIOCM_CD) ev |= kEvCd;
        if ((changed & TIOCM_RI) && (m & TIOCM_RI)) ev |= kEvRing;
        lastModem_ = m;
        raiseLocked(ev);
        if (changed & TIOCM_DSR) transmitLocked();
    }

    // Guarded by the mutex:
    bool modemLines_ = false;
    int lastModem_ = 0;
    bool countersOk_ = false;
    kernel::LineCounters counters_;
    MarkDecoder decoder_;
    std::vector<std::uint8_t> decoded_;  // the reader's bytes with the marks taken out
};

}  // namespace

std::unique_ptr<Device> openTermios(const std::string& path, Failure* why) {
    int fd = -1;
    auto fail = [&](int error) -> std::unique_ptr<Device> {
        if (fd >= 0) ::close(fd);
        if (why) *why = systemFailure(error, path);
        return nullptr;
    };
    fd = sysio::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(errno);
    // The advisory lock first: TIOCEXCL alone races, and does not stop a second open in this
    // process or by root.
    if (sysio::flock(fd, LOCK_EX | LOCK_NB) < 0) return fail(errno);
    if (!::isatty(fd)) return fail(ENOTTY);
    sysio::ioctl(fd, TIOCEXCL);  // EINVAL/ENOTTY on some drivers: the lock still holds
    termios t;
    if (::tcgetattr(fd, &t) < 0) return fail(errno);
    ::cfmakeraw(&t);
    t.c_cflag &= ~HUPCL;
    t.c_cflag |= CREAD | CLOCAL;
    ::tcsetattr(fd, TCSANOW, &t);
    int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) return fail(errno);
    std::unique_ptr<TermiosDevice> device;
    try {
        device = std::make_unique<TermiosDevice>(fd, wake);
    } catch (...) {  // no memory: the port must not stay locked
        ::close(wake);
        ::close(fd);
        throw;
    }
    // From here on the device owns both descriptors: when its reader cannot start, its
    // destruction closes them.
    device->startReader();
    if (why) *why = Failure{};
    return device;
}

}  // namespace serial
