#include "core.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace serial {

Request::Request() : state_(std::make_shared<State>()) {}

const Event& Request::event() const {
    return state_->event;
}

Code Request::result(std::uint32_t* transferred, bool wait, std::uint32_t* events) const {
    if (wait) state_->event.wait(-1);
    std::lock_guard lock(state_->mutex);
    if (state_->running) return Code::incomplete;
    if (transferred) *transferred = state_->transferred;
    if (events) *events = state_->events;
    return state_->code;
}

std::size_t ByteRing::push(const std::uint8_t* p, std::size_t n) {
    n = std::min(n, room());
    std::size_t tail = (head_ + size_) % buf_.size();
    std::size_t first = std::min(n, buf_.size() - tail);
    std::memcpy(buf_.data() + tail, p, first);
    std::memcpy(buf_.data(), p + first, n - first);
    size_ += n;
    return n;
}

std::size_t ByteRing::pushEvicting(const std::uint8_t* p, std::size_t n) {
    std::size_t lost = 0;
    if (n > buf_.size()) {
        lost = n - buf_.size();
        p += lost;
        n = buf_.size();
    }
    if (n > room()) {
        const std::size_t evict = n - room();
        head_ = (head_ + evict) % buf_.size();
        size_ -= evict;
        lost += evict;
    }
    push(p, n);
    return lost;
}

std::size_t ByteRing::pop(std::uint8_t* p, std::size_t n) {
    n = std::min(n, size_);
    std::size_t first = std::min(n, buf_.size() - head_);
    std::memcpy(p, buf_.data() + head_, first);
    std::memcpy(p + first, buf_.data(), n - first);
    head_ = (head_ + n) % buf_.size();
    size_ -= n;
    return n;
}

// --- Receiving ----------------------------------------------------------------------------------

std::size_t CoreDevice::receiveRoomLocked() const {
    std::size_t room = rx_.room();
    if (rx_.empty())
        for (const ReadOp& r : reads_) room += r.count - r.done;
    return room;
}

void CoreDevice::receiveLocked(const std::uint8_t* p, std::size_t n) {
    if (n == 0 || hungUp_) return;
    std::uint32_t events = kEvRxChar;
    if (std::memchr(p, dcb_.evtChar, n)) events |= kEvRxFlag;
    std::size_t taken = 0;
    // Reads wait only while the queue is empty, so bytes go to them in arrival order.
    while (taken < n && !reads_.empty()) {
        ReadOp& r = reads_.front();
        std::size_t k = std::min<std::size_t>(n - taken, r.count - r.done);
        std::memcpy(r.buffer + r.done, p + taken, k);
        r.done += static_cast<std::uint32_t>(k);
        taken += k;
        if (r.done == r.count) {
            r.state->finish(Code::ok, r.done);
            reads_.pop_front();
        }
    }
    if (rx_.pushEvicting(p + taken, n - taken)) errors_ |= kRxOverflow;
    raiseLocked(events);
}

void CoreDevice::raiseLocked(std::uint32_t events) {
    events &= mask_;
    if (!events) return;
    history_ |= events;
    if (waiter_) {
        std::uint32_t occurred = history_;
        history_ = 0;
        std::exchange(waiter_, nullptr)->finish(Code::ok, 0, occurred);
    }
}

void CoreDevice::addErrorsLocked(std::uint32_t errors) {
    errors_ |= errors;
    std::uint32_t events = 0;
    if (errors & (kOverrun | kParityError | kFramingError)) events |= kEvError;
    if (errors & kBreakDetected) events |= kEvBreak;
    raiseLocked(events);
}

void CoreDevice::hangUpLocked() {
    if (hungUp_) return;
    hungUp_ = true;
    for (ReadOp& r : reads_) r.state->finish(Code::hungUp, r.done);
    reads_.clear();
    for (WriteOp& w : writes_) w.state->finish(Code::hungUp, w.sent);
    writes_.clear();
    if (waiter_) std::exchange(waiter_, nullptr)->finish(Code::hungUp, 0);
    hungUpLocked();
}

void CoreDevice::cancelAllLocked() {
    for (ReadOp& r : reads_) r.state->finish(Code::cancelled, r.done);
    reads_.clear();
    for (WriteOp& w : writes_) w.state->finish(Code::cancelled, w.sent);
    writes_.clear();
    if (waiter_) std::exchange(waiter_, nullptr)->finish(Code::cancelled, 0);
}

bool CoreDevice::completeSentWritesLocked() {
    while (!writes_.empty() && writes_.front().sent == writes_.front().count) {
        WriteOp& w = writes_.front();
        w.state->finish(Code::ok, w.sent);
        writes_.pop_front();
    }
    return writes_.empty();
}

std::uint32_t CoreDevice::unsentBytesLocked() const {
    std::uint32_t n = 0;
    for (const WriteOp& w : writes_) n += w.count - w.sent;
    return n;
}

// --- Operations ---------------------------------------------------------------------------------

Code CoreDevice::setTimeouts(const Timeouts& t) {
    auto l = lock();
    if (hungUp_) return Code::hungUp;
    timeouts_ = t;
    return Code::ok;
}

Code CoreDevice::clearError(std::uint32_t* errors, QueueStatus* status) {
    auto l = lock();
    if (hungUp_) return Code::hungUp;
    collectErrorsLocked();
    if (errors) *errors = errors_;
    errors_ = 0;
    if (status) {
        status->inQueue = static_cast<std::uint32_t>(rx_.size());
        status->outQueue = outQueueLocked();
    }
    return Code::ok;
}

Code CoreDevice::purge(std::uint32_t flags) {
    auto l = lock();
    if (hungUp_) return Code::hungUp;
    if (flags & kPurgeRxAbort) {
        for (ReadOp& r : reads_) r.state->finish(Code::cancelled, r.done);
        reads_.clear();
    }
    if (flags & kPurgeTxAbort) {
        for (WriteOp& w : writes_) w.state->finish(Code::cancelled, w.sent);
        writes_.clear();
    }
    if (flags & kPurgeRxClear) rx_.clear();
    purgeBackendLocked(flags);
    if (flags & kPurgeRxClear) receiveRoomFreedLocked();
    return Code::ok;
}

Code CoreDevice::setEventMask(std::uint32_t mask) {
    auto l = lock();
    if (hungUp_) return Code::hungUp;
    mask_ = mask & kEvAll;
    history_ &= mask_;
    if (waiter_) std::exchange(waiter_, nullptr)->finish(Code::ok, 0, 0);
    return Code::ok;
}

Code CoreDevice::waitEvent(Request& request) {
    auto l = lock();
    if (hungUp_) return Code::hungUp;
    if (waiter_) return Code::invalidArgument;  // one wait at a time
    request.state()->start();
    if (history_) {
        std::uint32_t occurred = std::exchange(history_, 0);
        request.state()->finish(Code::ok, 0, occurred);
        return Code::ok;
    }
    waiter_ = request.state();
    return Code::pending;
}

Code CoreDevice::read(Request& request, void* buffer, std::uint32_t count) {
    auto l = lock();
    if (hungUp_) return Code::hungUp;
    if (count && !buffer) return Code::invalidArgument;
    request.state()->start();
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint32_t got = 0;
    if (reads_.empty()) got = static_cast<std::uint32_t>(rx_.pop(out, count));
    if (got) receiveRoomFreedLocked();
    bool immediate = timeouts_.readInterval == Timeouts::kNoWait && timeouts_.readTotalMultiplier == 0 &&
                     timeouts_.readTotalConstant == 0;
    if (got == count || immediate) {
        request.state()->finish(Code::ok, got);
        return Code::ok;
    }
    reads_.push_back(ReadOp{request.state(), out, count, got, std::this_thread::get_id()});
    receiveRoomFreedLocked();  // a waiting read is room too
    return Code::pending;
}

Code CoreDevice::write(Request& request, const void* buffer, std::uint32_t count) {
    auto l = lock();
    if (hungUp_) return Code::hungUp;
    if (count && !buffer) return Code::invalidArgument;
    request.state()->start();
    if (count == 0) {
        request.state()->finish(Code::ok, 0);
        return Code::ok;
    }
    writes_.push_back(WriteOp{request.state(), static_cast<const std::uint8_t*>(buffer), count, 0,
                              std::this_thread::get_id()});
    transmitLocked();
    std::uint32_t moved;
    return request.result(&moved, false) == Code::incomplete ? Code::pending : Code::ok;
}

Code CoreDevice::cancelIo() {
    auto l = lock();
    auto me = std::this_thread::get_id();
    for (auto it = reads_.begin(); it != reads_.end();) {
        if (it->owner == me) {
            it->state->finish(Code::cancelled, it->done);
            it = reads_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = writes_.begin(); it != writes_.end();) {
        // Bytes already handed to the line stay sent; the rest of the write is withdrawn.
        if (it->owner == me) {
            it->state->finish(Code::cancelled, it->sent);
            it = writes_.erase(it);
        } else {
            ++it;
        }
    }
    return Code::ok;
}

Code CoreDevice::cancel(Request& request) {
    auto l = lock();
    const auto& target = request.state();
    for (auto it = reads_.begin(); it != reads_.end(); ++it) {
        if (it->state == target) {
            it->state->finish(Code::cancelled, it->done);
            reads_.erase(it);
            return Code::ok;
        }
    }
    for (auto it = writes_.begin(); it != writes_.end(); ++it) {
        if (it->state == target) {
            it->state->finish(Code::cancelled, it->sent);
            writes_.erase(it);
            return Code::ok;
        }
    }
    return Code::ok;
}

}  // namespace serial
