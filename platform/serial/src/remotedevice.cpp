// The remote backend: a serial port on another machine, served over TCP (ser2net and the like).
//
// The connection is watched by the reader of WatchedDevice (watched.h), as a terminal's
// descriptor is. With rfc2217:// the stream is telnet: data with IAC doubled both ways, and the
// com-port control option, by which line settings, flow control, the modem lines, break and
// purges go to the server and its line and modem state come back. With socket:// the bytes pass
// as they are and nothing else travels.
//
// A setting counts when the server confirms it: the caller's thread sends the command and waits,
// for a short time, for the reader to see the answer. A line setting that is answered with
// another value, or not at all, is refused. An unanswered DTR or RTS control means the far port
// has no modem lines (a server of a pseudo-terminal never answers them): its modem status then
// fails, and later controls are sent without waiting.
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <serial/names.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sysio/sysio.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <optional>

#include "backends.h"
#include "telnet.h"
#include "watched.h"

namespace serial {

namespace {

using Clock = std::chrono::steady_clock;
namespace tn = telnet;

// What waits for the server's answer, one slot per kind of command. SET-CONTROL values share
// a slot by what they control.
enum Slot { kBaud, kDataSize, kParity, kStopSize, kFlow, kBreak, kDtr, kRts, kSlots };

// "1500 ms", "5 s".
std::string spoken(std::chrono::milliseconds t) {
    const auto ms = t.count();
    return ms % 1000 ? std::to_string(ms) + " ms" : std::to_string(ms / 1000) + " s";
}

std::optional<Slot> controlSlot(std::uint8_t value) {
    if (value <= tn::kFlowHardware || (value >= 17 && value <= 19)) return kFlow;
    if (value <= tn::kBreakOff) return kBreak;
    if (value <= tn::kDtrOff) return kDtr;
    if (value <= tn::kRtsOff) return kRts;
    return std::nullopt;  // inbound flow control: set, never waited for
}

std::uint8_t parityCode(std::uint8_t parity) {
    return static_cast<std::uint8_t>(parity + 1);  // none, odd, even, mark, space: 1-5
}

std::uint8_t stopCode(std::uint8_t stopBits) {
    switch (stopBits) {
        case kOne5StopBits:
            return 3;
        case kTwoStopBits:
            return 2;
        default:
            return 1;
    }
}

class RemoteDevice final : public WatchedDevice, private tn::Sink {
public:
    RemoteDevice(int fd, int wake, RemoteAddress address, const RemoteLimits& limits)
        : WatchedDevice(fd, wake), address_(std::move(address)), limits_(limits) {}

    ~RemoteDevice() override { stopReader(); }

    // Whether the server turned us away at once: a server whose port is busy (ser2net while
    // another client has it, or while the last one's session is still closing) accepts, says
    // so in a line of text and closes. `*said` is that text. Waits `settle` for it when the
    // first exchange has not shown already that the server stays.
    bool turnedAway(std::chrono::milliseconds settle, std::string* said) {
        auto l = lock();
        changed_.wait_for(l, settle, [&] { return hungUp_; });
        if (!hungUp_) return false;
        std::uint8_t text[160];
        const std::size_t n = rx_.pop(text, sizeof text);
        said->clear();
        for (std::size_t i = 0; i < n; ++i) {
            if (text[i] >= 0x20 && text[i] < 0x7F) said->push_back(static_cast<char>(text[i]));
            if (text[i] == '\n' && !said->empty()) break;
        }
        return true;
    }

    // The first exchange with an RFC 2217 server: the options, its agreement to com-port
    // control, and its line settings. Empty when all went well (or the server closed the
    // connection, which turnedAway tells), else why not, in words.
    std::string begin() {
        std::lock_guard control(controlMutex_);
        auto l = lock();
        for (std::uint8_t option : {tn::kComPort, tn::kBinary, tn::kSuppressGoAhead}) {
            weWill_[option] = true;
            wire_ += tn::command(tn::kWill, option);
        }
        for (std::uint8_t option : {tn::kBinary, tn::kSuppressGoAhead}) {
            theyWill_[option] = true;
            wire_ += tn::command(tn::kDo, option);
        }
        transmitLocked();
        const auto until = Clock::now() + limits_.reply;
        changed_.wait_until(l, until, [&] { return hungUp_ || comPort_.has_value(); });
        if (hungUp_) return {};
        if (!comPort_) return "no answer from " + address_.where() + " within " + spoken(limits_.reply);
        if (!*comPort_)
            return address_.where() +
                   " does not offer serial-port control (RFC 2217); for a raw TCP port, write socket://";
        // The far port's settings as they are, so that getState tells the truth before any
        // setState. Any the server does not tell keep their defaults.
        const std::uint8_t zero[4] = {};
        for (Slot s : {kBaud, kDataSize, kParity, kStopSize}) {
            answer_[s].reset();
            send(static_cast<std::uint8_t>(int{tn::kSetBaudRate} + int{s}), zero, s == kBaud ? 4 : 1);
        }
        // Line errors, breaks and every modem line, reported as they change.
        const std::uint8_t lineMask = 0x1E, modemMask = 0xFF;
        send(tn::kSetLineStateMask, &lineMask, 1);
        send(tn::kSetModemStateMask, &modemMask, 1);
        transmitLocked();
        awaitLocked(l, Clock::now() + limits_.reply, {kBaud, kDataSize, kParity, kStopSize});
        if (hungUp_) return {};
        if (answer_[kBaud] && *answer_[kBaud]) dcb_.baudRate = *answer_[kBaud];
        if (answer_[kDataSize] && *answer_[kDataSize] >= 5 && *answer_[kDataSize] <= 8)
            dcb_.byteSize = static_cast<std::uint8_t>(*answer_[kDataSize]);
        if (answer_[kParity] && *answer_[kParity] >= 1 && *answer_[kParity] <= 5)
            dcb_.parity = static_cast<std::uint8_t>(*answer_[kParity] - 1);
        if (answer_[kStopSize]) {
            if (*answer_[kStopSize] == 2) dcb_.stopBits = kTwoStopBits;
            if (*answer_[kStopSize] == 3) dcb_.stopBits = kOne5StopBits;
        }
        return {};
    }

    Code getState(ControlBlock* out) override {
        auto l = lock();
        if (hungUp_) return Code::hungUp;
        *out = dcb_;
        return Code::ok;
    }

    Code setState(const ControlBlock& b) override {
        if (b.byteSize < 5 || b.byteSize > 8 || b.parity > kParitySpace || b.stopBits > kTwoStopBits ||
            b.baudRate == 0)
            return Code::invalidArgument;
        std::lock_guard control(controlMutex_);
        auto l = lock();
        if (hungUp_) return Code::hungUp;
        if (!address_.comPortControl) {
            // A raw port carries no settings: the far port keeps what its server was told.
            dcb_ = b;
            return Code::ok;
        }
        const ControlBlock before = dcb_;
        sendLine(b);
        // The modem lines as the block wants them. Handshake lines are the far driver's: DTR
        // is held on, RTS follows input flow control.
        const bool dtr = b.dtrControl != kLineDisable;
        send(tn::kSetControl, dtr ? tn::kDtrOn : tn::kDtrOff);
        if (b.rtsControl != kLineHandshake)
            send(tn::kSetControl, b.rtsControl == kLineEnable ? tn::kRtsOn : tn::kRtsOff);
        const std::uint8_t inFlow = b.rtsControl == kLineHandshake ? tn::kInFlowHardware
                                    : b.inX                        ? tn::kInFlowXonXoff
                                                                   : tn::kInFlowNone;
        send(tn::kSetControl, inFlow);
        transmitLocked();
        const auto sent = Clock::now();
        awaitModemLocked(l, sent, true, b.rtsControl != kLineHandshake);
        awaitLocked(l, sent + limits_.reply, {kBaud, kDataSize, kParity, kStopSize, kFlow});
        if (hungUp_) return Code::hungUp;
        const bool taken = answer_[kBaud] == b.baudRate && answer_[kDataSize] == b.byteSize &&
                           answer_[kParity] == parityCode(b.parity) &&
                           answer_[kStopSize] == stopCode(b.stopBits) && answer_[kFlow] == outFlow(b);
        if (!taken) {
            // What the server did take is put back as it was; its answers are not waited for.
            sendLine(before);
            transmitLocked();
            return Code::failed;
        }
        dcb_ = b;
        return Code::ok;
    }

    Code setQueueSizes(std::uint32_t, std::uint32_t) override {
        auto l = lock();
        return hungUp_ ? Code::hungUp : Code::ok;  // the queue is fixed at its size
    }

    Code escape(Escape what) override {
        std::lock_guard control(controlMutex_);
        auto l = lock();
        if (hungUp_) return Code::hungUp;
        switch (what) {
            case Escape::setXoff:
                xoffHeld_ = true;
                return Code::ok;
            case Escape::setXon:
                xoffHeld_ = false;
                transmitLocked();
                return Code::ok;
            case Escape::setRts:
            case Escape::clrRts:
            case Escape::setDtr:
            case Escape::clrDtr: {
                if (!address_.comPortControl) return Code::ok;  // nothing to carry them
                const bool dtr = what == Escape::setDtr || what == Escape::clrDtr;
                const bool on = what == Escape::setDtr || what == Escape::setRts;
                send(tn::kSetControl,
                     dtr ? (on ? tn::kDtrOn : tn::kDtrOff) : (on ? tn::kRtsOn : tn::kRtsOff));
                transmitLocked();
                awaitModemLocked(l, Clock::now(), dtr, !dtr);
                return hungUp_ ? Code::hungUp : Code::ok;
            }
            case Escape::setBreak:
            case Escape::clrBreak: {
                const bool on = what == Escape::setBreak;
                if (!address_.comPortControl) return on ? Code::notSupported : Code::ok;
                answer_[kBreak].reset();
                send(tn::kSetControl, on ? tn::kBreakOn : tn::kBreakOff);
                transmitLocked();
                // Any answer confirms: a server of a line that cannot break reports it as it is.
                awaitLocked(l, Clock::now() + limits_.reply, {kBreak});
                if (hungUp_) return Code::hungUp;
                return answer_[kBreak] ? Code::ok : Code::failed;
            }
        }
        return Code::invalidArgument;
    }

    Code modemStatus(std::uint32_t* bits) override {
        auto l = lock();
        if (hungUp_) return Code::hungUp;
        if (modemLines_ != Lines::present) return Code::notSupported;
        *bits = modem_ & (kCtsOn | kDsrOn | kRingOn | kCdOn);
        return Code::ok;
    }

private:
    enum class Lines { unknown, present, absent };

    static std::uint8_t outFlow(const ControlBlock& b) {
        if (b.outxCtsFlow) return tn::kFlowHardware;
        return b.outX ? tn::kFlowXonXoff : tn::kFlowNone;
    }

    // Queues a com-port command (sent by the next transmitLocked); its slot, if it has one,
    // waits for a fresh answer.
    void send(std::uint8_t code, const std::uint8_t* value, std::size_t n) {
        if (code == tn::kSetControl) {
            if (auto slot = controlSlot(value[0])) answer_[*slot].reset();
        } else if (code >= tn::kSetBaudRate && code <= tn::kSetStopSize) {
            answer_[code - tn::kSetBaudRate].reset();
        }
        wire_ += tn::comPort(code, value, n);
    }
    void send(std::uint8_t code, std::uint8_t value) { send(code, &value, 1); }

    void sendLine(const ControlBlock& b) {
        const std::uint8_t rate[4] = {
            static_cast<std::uint8_t>(b.baudRate >> 24), static_cast<std::uint8_t>(b.baudRate >> 16),
            static_cast<std::uint8_t>(b.baudRate >> 8), static_cast<std::uint8_t>(b.baudRate)};
        send(tn::kSetBaudRate, rate, 4);
        send(tn::kSetDataSize, b.byteSize);
        send(tn::kSetParity, parityCode(b.parity));
        send(tn::kSetStopSize, stopCode(b.stopBits));
        send(tn::kSetControl, outFlow(b));
    }

    // Waits until every slot of `slots` is answered, the line is gone, or `until`.
    void awaitLocked(Lock& l, Clock::time_point until, std::initializer_list<Slot> slots) {
        changed_.wait_until(l, until, [&] {
            if (hungUp_) return true;
            for (Slot s : slots) {
                if (!answer_[s]) return false;
            }
            return true;
        });
    }

    // Waits for an answer to the DTR control (`dtr`) or the RTS control (`rts`) sent at `sent`,
    // unless the port is known to have no modem lines. No answer: it has none.
    void awaitModemLocked(Lock& l, Clock::time_point sent, bool dtr, bool rts) {
        if (modemLines_ == Lines::absent) return;
        auto answered = [&] { return (dtr && answer_[kDtr]) || (rts && answer_[kRts]); };
        changed_.wait_until(l, sent + limits_.modemReply, [&] { return hungUp_ || answered(); });
        if (hungUp_) return;
        modemLines_ = answered() ? Lines::present : Lines::absent;
    }

    // --- The reader's side -------------------------------------------------------------------

    ssize_t sendLocked(const std::uint8_t* p, std::size_t n) override {
        return ::send(fd_, p, n, MSG_NOSIGNAL);  // a closed connection is a hang-up, not a signal
    }

    bool framesDataLocked() const override { return address_.comPortControl; }

    void frameLocked(const std::uint8_t* p, std::size_t n, std::string& wire) override {
        tn::appendData(p, n, wire);
    }

    bool holdingLocked() const override { return xoffHeld_ || suspended_; }

    void takeLocked(const std::uint8_t* p, std::size_t n) override {
        // Acknowledge at once rather than up to 40 ms later: a server that sends a reply in
        // pieces as the line delivers them, with Nagle's algorithm on, holds each piece until
        // the one before is acknowledged. The kernel turns quick acknowledgement off again by
        // itself, so it is asked for after every read.
        const int on = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
        if (!address_.comPortControl) {
            receiveLocked(p, n);
            return;
        }
        parser_.feed(p, n, *this);
    }

    void purgeBackendLocked(std::uint32_t flags) override {
        if (!address_.comPortControl) return;
        // What the server still holds for either direction goes too.
        std::uint8_t which = 0;
        if (flags & kPurgeRxClear) which |= 1;
        if (flags & kPurgeTxClear) which |= 2;
        if (!which) return;
        send(tn::kPurgeData, which);
        transmitLocked();
    }

    void hungUpLocked() override { changed_.notify_all(); }

    void data(const std::uint8_t* p, std::size_t n) override { receiveLocked(p, n); }

    // Agrees to what this side uses and refuses the rest, answering only a change, so that two
    // sides that agree never echo each other for ever.
    void option(std::uint8_t verb, std::uint8_t option) override {
        const bool wanted = option == tn::kBinary || option == tn::kSuppressGoAhead || option == tn::kComPort;
        if (verb == tn::kDo || verb == tn::kDont) {
            const bool ask = verb == tn::kDo;
            if (option == tn::kComPort) {
                comPort_ = ask;
                changed_.notify_all();
            }
            const bool now = ask && wanted;
            if (now != weWill_[option]) {
                weWill_[option] = now;
                wire_ += tn::command(now ? tn::kWill : tn::kWont, option);
            } else if (ask && !wanted) {
                wire_ += tn::command(tn::kWont, option);
            }
        } else {
            const bool offer = verb == tn::kWill;
            const bool now = offer && wanted && option != tn::kComPort;
            if (now != theyWill_[option]) {
                theyWill_[option] = now;
                wire_ += tn::command(now ? tn::kDo : tn::kDont, option);
            } else if (offer && !now) {
                wire_ += tn::command(tn::kDont, option);
            }
        }
    }

    void subnegotiation(const std::uint8_t* body, std::size_t n) override {
        const std::optional<tn::ServerMessage> m = tn::serverMessage(body, n);
        if (!m) return;
        const auto byte = static_cast<std::uint8_t>(m->value);
        switch (m->command) {
            case tn::kSetBaudRate:
            case tn::kSetDataSize:
            case tn::kSetParity:
            case tn::kSetStopSize:
                answer_[m->command - tn::kSetBaudRate] = m->value;
                break;
            case tn::kSetControl:
                if (auto slot = controlSlot(byte)) answer_[*slot] = byte;
                break;
            case tn::kNotifyLineState:
                lineState(byte);
                break;
            case tn::kNotifyModemState:
                modemState(byte);
                break;
            case tn::kFlowSuspend:
                suspended_ = true;
                break;
            case tn::kFlowResume:
                suspended_ = false;
                transmitLocked();
                break;
            default:
                break;
        }
        changed_.notify_all();
    }

    void lineState(std::uint8_t bits) {
        std::uint32_t errors = 0;
        if (bits & 0x02) errors |= kOverrun;
        if (bits & 0x04) errors |= kParityError;
        if (bits & 0x08) errors |= kFramingError;
        if (bits & 0x10) errors |= kBreakDetected;
        if (errors) addErrorsLocked(errors);
    }

    // The state bits are laid out as ModemBits are.
    void modemState(std::uint8_t bits) {
        const std::uint32_t changed = (bits ^ modem_) & 0xF0;
        std::uint32_t events = 0;
        if (changed & kCtsOn) events |= kEvCts;
        if (changed & kDsrOn) events |= kEvDsr;
        if (changed & kCdOn) events |= kEvCd;
        if ((changed & kRingOn) && (bits & kRingOn)) events |= kEvRing;
        modem_ = bits;
        raiseLocked(events);
    }

    const RemoteAddress address_;
    const RemoteLimits limits_;
    std::mutex controlMutex_;  // one exchange with the server at a time
    std::condition_variable changed_;
    // Guarded by the mutex:
    tn::Parser parser_;
    std::array<bool, 256> weWill_{};
    std::array<bool, 256> theyWill_{};
    std::optional<bool> comPort_;  // the server's DO (true) or DONT (false) com-port control
    std::array<std::optional<std::uint32_t>, kSlots> answer_;
    Lines modemLines_ = Lines::unknown;
    std::uint32_t modem_ = 0;
    bool suspended_ = false;  // the server asked us to stop sending
};

// --- Opening -------------------------------------------------------------------------------

Failure remoteFailure(Code code, int error, const std::string& address, std::string detail) {
    Failure f;
    f.code = code;
    f.error = error;
    f.path = address;
    f.detail = std::move(detail);
    return f;
}

// Connects to the first of the host's addresses that answers, within `limit` for all of them.
// The descriptor, or -1 with `*why` set.
int connectTo(const RemoteAddress& a, const std::string& address, std::chrono::milliseconds limit,
              Failure* why) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(a.host.c_str(), a.port.c_str(), &hints, &found);
    if (lookup != 0) {
        *why = remoteFailure(
            Code::notFound, 0, address,
            "host " + a.host + " not found (" + ::gai_strerror(lookup) + "); port " + a.port + " not tried");
        return -1;
    }
    const auto until = Clock::now() + limit;
    int error = ETIMEDOUT;
    int fd = -1;
    for (addrinfo* ai = found; ai && fd < 0; ai = ai->ai_next) {
        const int s =
            ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (s < 0) {
            error = errno;
            continue;
        }
        int result = ::connect(s, ai->ai_addr, ai->ai_addrlen) == 0 ? 0 : errno;
        if (result == EINPROGRESS) {
            pollfd p{s, POLLOUT, 0};
            const int ready = sysio::pollUntil(&p, 1, until);
            socklen_t len = sizeof result;
            if (ready <= 0)
                result = ETIMEDOUT;
            else if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &result, &len) < 0)
                result = errno;
        }
        if (result == 0) {
            fd = s;
        } else {
            error = result;
            ::close(s);
            if (Clock::now() >= until) break;
        }
    }
    ::freeaddrinfo(found);
    if (fd >= 0) return fd;
    std::string detail;
    Code code = Code::failed;
    switch (error) {
        case ECONNREFUSED:
            detail = "connection refused by " + a.where() + " (nothing serves that port there)";
            code = Code::notFound;
            break;
        case ETIMEDOUT:
            detail = "time-out: " + a.where() + " did not answer within " + spoken(limit);
            break;
        default:
            detail = std::string(std::strerror(error)) + " (" + a.where() + ")";
            break;
    }
    *why = remoteFailure(code, error, address, detail);
    return -1;
}

// A connection that a serial line rides on: small writes go at once, and a far end that
// vanishes without a word (a machine switched off, a cable pulled) is noticed within a minute.
void tuneSocket(int fd) {
    const int on = 1, idle = 10, interval = 5, probes = 3;
    const unsigned userTimeout = 30000;  // ms that sent data may stay unacknowledged
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout);
}

}  // namespace

namespace {

// One connection and its first exchange; nullptr with `why` when it failed, and then `*retry`
// when the server turned it away in words (`*said`) and trying again may help.
std::unique_ptr<Device> attempt(const RemoteAddress& a, const std::string& address,
                                const RemoteLimits& limits, Failure* why, bool* retry, std::string* said) {
    *retry = false;
    const int fd = connectTo(a, address, limits.connect, why);
    if (fd < 0) return nullptr;
    tuneSocket(fd);
    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        const int error = errno;
        ::close(fd);
        *why = remoteFailure(Code::failed, error, address, std::strerror(error));
        return nullptr;
    }
    std::unique_ptr<RemoteDevice> device;
    try {
        device = std::make_unique<RemoteDevice>(fd, wake, a, limits);
    } catch (...) {
        ::close(wake);
        ::close(fd);
        throw;
    }
    device->startReader();
    if (a.comPortControl) {
        if (std::string problem = device->begin(); !problem.empty()) {
            *why = remoteFailure(Code::failed, 0, address, problem);
            return nullptr;
        }
    }
    // With com-port control the first exchange took a round trip, in which a server that turns
    // us away has done so; a raw port is given a moment for it.
    if (device->turnedAway(a.comPortControl ? std::chrono::milliseconds(0) : limits.settle, said)) {
        *retry = true;
        return nullptr;
    }
    return device;
}

}  // namespace

std::unique_ptr<Device> openRemote(const std::string& address, Failure* why, const RemoteLimits& limits) {
    auto fail = [&](Failure f) -> std::unique_ptr<Device> {
        if (why) *why = std::move(f);
        return nullptr;
    };
    const std::optional<RemoteAddress> a = parseRemote(address);
    if (!a)
        return fail(
            remoteFailure(Code::invalidArgument, 0, address,
                          "not a remote port's address (write rfc2217://HOST:PORT or socket://HOST:PORT)"));
    // A port that is busy only until the session before ours has closed (a program run right
    // after another) is tried again for a while.
    const auto until = Clock::now() + limits.busy;
    for (;;) {
        Failure failure;
        bool retry = false;
        std::string said;
        if (auto device = attempt(*a, address, limits, &failure, &retry, &said)) {
            if (why) *why = Failure{};
            return device;
        }
        if (!retry) return fail(failure);
        if (Clock::now() >= until) {
            std::string detail = a->where() + " closed the connection at once";
            detail += said.empty() ? " (is the port in use by someone else?)" : ": \"" + said + "\"";
            return fail(remoteFailure(Code::busy, 0, address, detail));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace serial
