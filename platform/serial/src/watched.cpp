#include "watched.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sysio/sysio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace serial {

bool lineLost(int error) {
    switch (error) {
        case EIO:  // a terminal hung up
        case EPIPE:
        case ECONNRESET:
        case ENOTCONN:
        case ETIMEDOUT:  // keepalive or the user time-out gave up on the far end
        case EHOSTUNREACH:
        case ENETUNREACH:
            return true;
        default:
            return false;
    }
}

WatchedDevice::WatchedDevice(int fd, int wake)
    : CoreDevice(std::make_shared<std::mutex>()), fd_(fd), wake_(wake) {}

WatchedDevice::~WatchedDevice() {
    stopReader();
    ::close(fd_);  // never retried: the descriptor is gone either way
    ::close(wake_);
}

void WatchedDevice::startReader() {
    reader_ = std::thread([this] { run(); });
}

void WatchedDevice::stopReader() {
    {
        auto l = lock();
        stopping_ = true;
        cancelAllLocked();
    }
    if (reader_.joinable()) {
        kick();
        reader_.join();
    }
}

void WatchedDevice::kick() {
    sysio::signalEvent(wake_);
}

void WatchedDevice::kickFromOutside() {
    if (std::this_thread::get_id() != readerId_.load()) kick();
}

ssize_t WatchedDevice::sendLocked(const std::uint8_t* p, std::size_t n) {
    return sysio::write(fd_, p, n);
}

bool WatchedDevice::flushWireLocked() {
    std::size_t done = 0;
    while (done < wire_.size()) {
        const ssize_t n =
            sendLocked(reinterpret_cast<const std::uint8_t*>(wire_.data()) + done, wire_.size() - done);
        if (n < 0) {
            if (errno == EAGAIN) break;
            wire_.clear();
            hangUpLocked();  // a framed line that refuses bytes cannot carry on in step
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    wire_.erase(0, done);
    return true;
}

// Writes as much as the line takes now, in order. The caller's thread does this for a write
// that starts on an idle line, so a short write finishes inside Write itself.
void WatchedDevice::transmitLocked() {
    // Framed data goes in pieces of this size, so that what waits in wire_ stays small: a write
    // counts as sent once it is framed, as a terminal's counts once the kernel took it.
    constexpr std::size_t kFramePiece = 1024;
    for (;;) {
        if (!wire_.empty() && !flushWireLocked()) return;
        if (!wire_.empty() || writes_.empty() || holdingLocked()) break;
        WriteOp& w = writes_.front();
        if (framesDataLocked()) {
            const std::size_t k = std::min<std::size_t>(kFramePiece, w.count - w.sent);
            frameLocked(w.buffer + w.sent, k, wire_);
            w.sent += static_cast<std::uint32_t>(k);
        } else {
            const ssize_t n = sendLocked(w.buffer + w.sent, w.count - w.sent);
            if (n < 0) {
                if (errno == EAGAIN) break;
                if (lineLost(errno)) {
                    hangUpLocked();
                    return;
                }
                w.state->finish(Code::failed, w.sent);
                writes_.pop_front();
                continue;
            }
            w.sent += static_cast<std::uint32_t>(n);
        }
        if (w.sent == w.count) {
            completeSentWritesLocked();
            txCheck_ = true;
        }
    }
    if (!writes_.empty() || !wire_.empty() || txCheck_) kickFromOutside();
}

std::uint32_t WatchedDevice::outQueueLocked() {
    int q = 0;  // TIOCOUTQ; on a socket (SIOCOUTQ, the same request) what the peer has not taken
    if (sysio::ioctl(fd_, TIOCOUTQ, &q) < 0) q = 0;
    return unsentBytesLocked() + static_cast<std::uint32_t>(wire_.size()) + static_cast<std::uint32_t>(q);
}

void WatchedDevice::receiveRoomFreedLocked() {
    if (starved_) kickFromOutside();
}

// Whether the reader may take bytes from the descriptor now. With room in the queue it may.
// A full queue holds the line back, so that a host that reads loses nothing (a pseudo-
// terminal's or a connection's far end then waits, a real line's kernel buffer fills and input
// flow control stops the sender). But a host that waits for the event character reads nothing
// until it comes: so once the full queue has gone unread for kSpillAfter, and unless input flow
// control holds the sender, the reader takes what waits and the oldest queued bytes give way (a
// receive overflow), and the event character is seen. `*waitMs` is set to the time until that
// happens (-1: not by time).
bool WatchedDevice::mayReadLocked(int* waitMs) {
    *waitMs = -1;
    if (receiveRoomLocked() > 0) {
        fullSince_.reset();
        return true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!fullSince_) fullSince_ = now;
    if (inputFlowControlLocked()) return false;
    const auto left = *fullSince_ + kSpillAfter - now;
    if (left <= std::chrono::steady_clock::duration::zero()) return true;
    *waitMs = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
    return false;
}

// One character time at the current rate, in milliseconds (at least 1).
int WatchedDevice::charTimeMs() const {
    std::uint32_t rate = dcb_.baudRate ? dcb_.baudRate : 9600;
    return static_cast<int>(std::max<std::uint32_t>(1, 10000 / rate));
}

namespace {

int earlier(int a, int b) {
    if (a < 0) return b;
    if (b < 0) return a;
    return std::min(a, b);
}

}  // namespace

void WatchedDevice::run() {
    readerId_ = std::this_thread::get_id();
    std::uint8_t buf[65536];
    for (;;) {
        short events = 0;
        int timeout = -1;
        {
            auto l = lock();
            if (stopping_) return;
            if (!hungUp_) {
                int untilSpill = -1;
                starved_ = !mayReadLocked(&untilSpill);
                if (!starved_) events |= POLLIN;
                if (!wire_.empty() || (!writes_.empty() && !holdingLocked())) events |= POLLOUT;
                timeout = untilSpill;
                if (txCheck_) timeout = earlier(timeout, charTimeMs());
                timeout = earlier(timeout, pollLimitLocked());
            }
        }
        pollfd p[2] = {{wake_, POLLIN, 0}, {fd_, events, 0}};
        int nfds = events ? 2 : 1;
        if (sysio::poll(p, static_cast<std::size_t>(nfds), timeout) < 0) return;
        if (p[0].revents & POLLIN) sysio::drainEvent(wake_);
        auto l = lock();
        if (stopping_) return;
        if (hungUp_) continue;
        if (nfds == 2 && (p[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            std::size_t room = std::min(receiveRoomLocked(), sizeof buf);
            // Spilling: the queue is full and nobody has read it, so take what waits and let
            // the oldest queued bytes give way.
            if (room == 0 && !starved_) room = sizeof buf;
            if (room) {
                const ssize_t n = sysio::read(fd_, buf, room);
                if (n > 0) {
                    takeLocked(buf, static_cast<std::size_t>(n));
                } else if (n == 0 || errno != EAGAIN) {
                    hangUpLocked();
                    continue;
                }
            } else if (p[1].revents & (POLLHUP | POLLERR)) {
                hangUpLocked();
                continue;
            }
        }
        if (hungUp_) continue;
        if (!wire_.empty() || !writes_.empty()) transmitLocked();
        if (txCheck_ && writes_.empty() && wire_.empty()) {
            int q = 0;
            if (sysio::ioctl(fd_, TIOCOUTQ, &q) < 0 || q == 0) {
                txCheck_ = false;
                raiseLocked(kEvTxEmpty);
            }
        }
        afterWakeLocked();
    }
}

}  // namespace serial
