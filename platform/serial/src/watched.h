// A device whose line is one non-blocking descriptor (a terminal, a TCP connection), watched by
// a reader thread of its own.
//
// The reader sleeps in poll() on the descriptor and a wake descriptor. It moves received bytes
// into the core's queue (through the backend's takeLocked, which undoes whatever the line wraps
// them in), pushes out writes that did not fit at once, notices "transmit queue empty", and
// detects a hang-up once. Nothing happens while nothing arrives: an idle port costs no CPU.
//
// A backend constructs its state, then calls startReader(); its destructor calls stopReader()
// before its own members go. The descriptor and the wake descriptor are the base's to close.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "core.h"

namespace serial {

class WatchedDevice : public CoreDevice {
public:
    // A host that reads keeps the queue from staying full anywhere near this long, and the
    // kernel's 4 KiB buffer outlasts it at every rate up to 921600 baud.
    static constexpr std::chrono::milliseconds kSpillAfter{20};

    int handle() const override { return fd_; }

    // Starts the reader once the backend is whole (std::system_error when there is no thread).
    void startReader();

protected:
    // Takes both descriptors (`wake` an eventfd), closing them when it is destroyed.
    WatchedDevice(int fd, int wake);
    ~WatchedDevice() override;

    // Ends the reader and every request; idempotent.
    void stopReader();

    // Wakes the reader so that it looks again at what to wait for.
    void kick();
    // The same, unless the caller is the reader (which looks again anyway).
    void kickFromOutside();

    // --- Hooks, called with the mutex held --------------------------------------------------
    // Bytes read from the descriptor.
    virtual void takeLocked(const std::uint8_t* p, std::size_t n) = 0;
    // Puts bytes on the line as write(2) does (-1 and errno when it cannot).
    virtual ssize_t sendLocked(const std::uint8_t* p, std::size_t n);
    // Whether the transmitter is held (XOFF, a flow-control line, the far end asked to pause).
    virtual bool holdingLocked() const { return xoffHeld_; }
    // Whether data bytes are framed for the line (escaped into wire_) rather than sent as they are.
    virtual bool framesDataLocked() const { return false; }
    // Appends `n` data bytes to `wire`, framed for the line.
    virtual void frameLocked(const std::uint8_t*, std::size_t, std::string&) {}
    // How long the reader may sleep at most for the backend's own sake (-1: as long as it likes),
    // and what it does each time it wakes.
    virtual int pollLimitLocked() { return -1; }
    virtual void afterWakeLocked() {}
    // Whether the sender is held back by flow control while the queue is full: then the reader
    // leaves the line unread rather than let queued bytes give way.
    virtual bool inputFlowControlLocked() const {
        return dcb_.inX || dcb_.outxCtsFlow || dcb_.rtsControl == kLineHandshake;
    }

    void transmitLocked() override;
    std::uint32_t outQueueLocked() override;
    void receiveRoomFreedLocked() override;

    const int fd_;
    // Guarded by the mutex: bytes framed for the line that it has not taken yet (commands and
    // escaped data, in order). Sent before any further write.
    std::string wire_;
    bool txCheck_ = false;  // a write finished: report "transmit queue empty" once the line is idle

private:
    void run();
    bool mayReadLocked(int* waitMs);
    int charTimeMs() const;
    // Sends wire_ as far as the line takes it; false when the line is gone.
    bool flushWireLocked();

    const int wake_;
    std::thread reader_;
    bool stopping_ = false;  // guarded by the mutex
    bool starved_ = false;   // the queue is full: the descriptor is not read
    std::optional<std::chrono::steady_clock::time_point> fullSince_;  // when the queue filled
    std::atomic<std::thread::id> readerId_{};
};

// Whether errno `error` from a read or write means the line is gone.
bool lineLost(int error);

}  // namespace serial
