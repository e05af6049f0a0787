// The part of a serial device that every backend shares: the receive queue, error flags, event
// mask and event wait, and the lists of unfinished reads and writes. A backend moves bytes
// between the line and this core and supplies the control-block, modem and transmit hooks.
//
// Everything here is guarded by one mutex that the backend supplies (the two ends of a
// null-modem pair share theirs, so that a write on one end can deliver into the other).
#pragma once

#include <serial/device.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace serial {

struct Request::State {
    Event event;
    std::mutex mutex;
    bool running = false;
    Code code = Code::ok;
    std::uint32_t transferred = 0;
    std::uint32_t events = 0;

    void start() {
        event.reset();
        std::lock_guard lock(mutex);
        running = true;
        code = Code::pending;
        transferred = 0;
        events = 0;
    }
    void finish(Code c, std::uint32_t moved, std::uint32_t evts = 0) {
        {
            std::lock_guard lock(mutex);
            running = false;
            code = c;
            transferred = moved;
            events = evts;
        }
        event.set();
    }
};

// A fixed-capacity byte ring.
class ByteRing {
public:
    explicit ByteRing(std::size_t capacity) : buf_(capacity) {}
    std::size_t size() const { return size_; }
    std::size_t room() const { return buf_.size() - size_; }
    bool empty() const { return size_ == 0; }
    std::size_t push(const std::uint8_t* p, std::size_t n);
    // Appends all `n` bytes, the oldest giving way when they do not fit; returns how many
    // bytes were lost (old ones, or the first of `n` when `n` alone exceeds the capacity).
    std::size_t pushEvicting(const std::uint8_t* p, std::size_t n);
    std::size_t pop(std::uint8_t* p, std::size_t n);
    void clear() { head_ = size_ = 0; }

private:
    std::vector<std::uint8_t> buf_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};

class CoreDevice : public Device {
public:
    static constexpr std::size_t kQueueSize = 8192;

    Code setTimeouts(const Timeouts& t) override;
    Code clearError(std::uint32_t* errors, QueueStatus* status) override;
    Code purge(std::uint32_t flags) override;
    Code setEventMask(std::uint32_t mask) override;
    Code waitEvent(Request& request) override;
    Code read(Request& request, void* buffer, std::uint32_t count) override;
    Code write(Request& request, const void* buffer, std::uint32_t count) override;
    Code cancelIo() override;
    Code cancel(Request& request) override;

protected:
    explicit CoreDevice(std::shared_ptr<std::mutex> mutex) : mutex_(std::move(mutex)) {}

    using Lock = std::unique_lock<std::mutex>;
    Lock lock() const { return Lock(*mutex_); }

    struct ReadOp {
        std::shared_ptr<Request::State> state;
        std::uint8_t* buffer;
        std::uint32_t count;
        std::uint32_t done;
        std::thread::id owner;
    };
    struct WriteOp {
        std::shared_ptr<Request::State> state;
        const std::uint8_t* buffer;
        std::uint32_t count;
        std::uint32_t sent;
        std::thread::id owner;
    };

    // Received bytes: they fill the oldest unfinished read first, then the queue. When the
    // queue is full its oldest bytes give way and a receive overflow is flagged: the newest
    // bytes, and the line an event character announces, are what a reader wants.
    void receiveLocked(const std::uint8_t* p, std::size_t n);
    // How many bytes receiveLocked can take now without dropping.
    std::size_t receiveRoomLocked() const;
    void raiseLocked(std::uint32_t events);
    void addErrorsLocked(std::uint32_t errors);
    // The device went away: every unfinished request fails and every later query fails.
    void hangUpLocked();
    // Finishes and removes the writes that are fully sent; true when no write is left.
    bool completeSentWritesLocked();
    std::uint32_t unsentBytesLocked() const;

    // Backend hooks, called with the mutex held.
    virtual void transmitLocked() = 0;  // writes were added or may move again
    virtual std::uint32_t outQueueLocked() { return unsentBytesLocked(); }
    virtual void collectErrorsLocked() {}              // before clearError reads the flags
    virtual void purgeBackendLocked(std::uint32_t) {}  // the line side of purge
    virtual void receiveRoomFreedLocked() {}           // a read took bytes from the queue
    virtual void hungUpLocked() {}                     // hangUpLocked ended every request

    // Ends every request (the destructor of a backend calls it).
    void cancelAllLocked();

    std::shared_ptr<std::mutex> mutex_;
    // Guarded by *mutex_:
    ByteRing rx_{kQueueSize};
    std::uint32_t errors_ = 0;
    std::uint32_t mask_ = 0;
    std::uint32_t history_ = 0;
    std::shared_ptr<Request::State> waiter_;
    std::deque<ReadOp> reads_;
    std::deque<WriteOp> writes_;
    ControlBlock dcb_;
    Timeouts timeouts_;
    bool hungUp_ = false;
    bool xoffHeld_ = false;  // SETXOFF: the transmitter acts as if XOFF had been received
};

}  // namespace serial
