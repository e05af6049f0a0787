// Data transfer: Write, Read and their binary forms, the queues, line errors and XON/XOFF.
#include <com/taskmem.h>
#include <com/text.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "object.h"

namespace veskor {

namespace {

using Clock = std::chrono::steady_clock;

// More than this many unfinished background writes and Write refuses.
constexpr std::size_t kMaxPendingWrites = 1000;

// A Read asks the device for at most this much at first, and then for as much again as it
// already holds: its buffer grows with what arrives, so a count far beyond what will come
// costs nothing (0x7FFFFFFF would otherwise take 2 GiB up front).
constexpr std::size_t kFirstReadPiece = 65536;

void storeCount(com::Variant& out, std::int32_t n) {
    if (out.isByRef() && out.ref) *out.ref = com::Variant(n);
}

}  // namespace

void Shared::releaseFinishedWrites(int waitMs) {
    std::unique_lock lock(pendingMutex, std::defer_lock);
    if (waitMs <= 0 ? !lock.try_lock() : !lock.try_lock_for(std::chrono::milliseconds(waitMs))) return;
    // A finished write, failed or not, is no longer used by the device and can go; only those
    // still running stay.
    std::erase_if(pending, [](const std::unique_ptr<PendingWrite>& w) {
        return w->request.result(nullptr, false) != serial::Code::incomplete;
    });
}

HRESULT Veskor::Write(const std::u16string& writeBuffer, com::Variant numBytesToWrite, com::Variant timeout,
                      std::int32_t* bytesWritten) {
    if (!bytesWritten) return com::E_POINTER;
    if (!isOpen()) return fail(VESKOR_E_PORTCLOSED);
    std::int32_t count, limit;
    if (!optionalInt(numBytesToWrite, &count) || !optionalInt(timeout, &limit) || count < 0)
        return fail(com::E_INVALIDARG);
    return guard([&] { return writeBytes(com::narrow(writeBuffer), count, limit, bytesWritten); });
}

HRESULT Veskor::writeBytes(std::string bytes, std::int32_t count, std::int32_t timeout,
                           std::int32_t* written) {
    {
        std::lock_guard lock(shared_->pendingMutex);
        if (shared_->pending.size() > kMaxPendingWrites) return fail(VESKOR_E_WRITELIMIT);
    }
    // A count beyond the text is cut to the text: nothing from beyond it is ever sent.
    if (count != 0 && static_cast<std::size_t>(count) < bytes.size())
        bytes.resize(static_cast<std::size_t>(count));
    if (bytes.empty()) {
        *written = 0;
        return com::S_OK;
    }

    auto record = std::make_unique<PendingWrite>();
    record->bytes = std::move(bytes);
    serial::Request& req = record->request;
    auto size = static_cast<std::uint32_t>(record->bytes.size());
    serial::Code started = device().write(req, record->bytes.data(), size);
    if (started != serial::Code::ok && started != serial::Code::pending) return fail(VESKOR_E_WRITE);

    std::uint32_t moved = 0;
    if (timeout < 0) {
        if (req.result(&moved, true) != serial::Code::ok) return fail(VESKOR_E_WRITE);
    } else if (timeout == 0) {
        serial::Code r = req.result(&moved, false);
        if (r == serial::Code::incomplete) {
            moved = 0;
            // The record must outlive the write; if the list is busy beyond the usual wait we
            // still wait for it rather than free memory the device is reading.
            std::unique_lock lock(shared_->pendingMutex, std::defer_lock);
            if (!lock.try_lock_for(std::chrono::milliseconds(100))) lock.lock();
            try {
                shared_->pending.push_back(std::move(record));
            } catch (...) {  // no room in the list: the write must end before its buffer goes
                device().cancel(req);
                req.result(nullptr, true);
                throw;
            }
        } else if (r != serial::Code::ok) {
            return fail(VESKOR_E_WRITE);
        }
    } else {
        req.event().wait(timeout);
        serial::Code r = req.result(&moved, false);
        if (r == serial::Code::incomplete) {
            // Only this write: the background writes queued before it must not be lost with it.
            if (device().cancel(req) != serial::Code::ok &&
                device().purge(serial::kPurgeTxAbort) != serial::Code::ok)
                return fail(VESKOR_E_CANCEL);
            req.result(&moved, true);  // cancelled: what went out before the cancel
        } else if (r != serial::Code::ok) {
            return fail(com::E_UNEXPECTED);
        }
    }
    *written = static_cast<std::int32_t>(moved);
    return com::S_OK;
}

HRESULT Veskor::WriteBinary(std::int64_t writeBuffer, com::Variant numBytesToWrite, com::Variant timeout,
                            std::int32_t* bytesWritten) {
    if (!bytesWritten) return com::E_POINTER;
    if (!isOpen()) return fail(VESKOR_E_PORTCLOSED);
    std::int32_t count, limit;
    if (!optionalInt(numBytesToWrite, &count) || !optionalInt(timeout, &limit) || count < 0)
        return fail(com::E_INVALIDARG);
    if (count == 0) {
        *bytesWritten = 0;
        return com::S_OK;
    }
    if (writeBuffer == 0) return fail(com::E_INVALIDARG);
    return guard([&] {
        std::string bytes(reinterpret_cast<const char*>(static_cast<std::intptr_t>(writeBuffer)),
                          static_cast<std::size_t>(count));
        return writeBytes(std::move(bytes), count, limit, bytesWritten);
    });
}

HRESULT Veskor::readBytes(const com::Variant& numBytesToRead, const com::Variant& timeoutArg,
                          std::string* bytes) {
    if (!isOpen()) return fail(VESKOR_E_PORTCLOSED);
    std::int32_t count, timeout;
    if (!optionalInt(numBytesToRead, &count) || !optionalInt(timeoutArg, &timeout) || count < 0 ||
        timeout < 0)
        return fail(com::E_INVALIDARG);
    if (count == 0) {
        serial::QueueStatus q;
        std::uint32_t errors;
        if (device().clearError(&errors, &q) != serial::Code::ok) return fail(com::E_UNEXPECTED);
        count = static_cast<std::int32_t>(q.inQueue);
    }
    bytes->clear();
    if (count == 0) return com::S_OK;

    // One read of the whole count, made piece by piece: each piece finishes when it is full,
    // and the bytes that arrive meanwhile wait in the device's queue for the next one.
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
    std::size_t left = static_cast<std::size_t>(count);
    std::size_t piece = std::min(left, kFirstReadPiece);
    while (left > 0) {
        const std::size_t at = bytes->size();
        bytes->resize(at + piece);
        serial::Request req;
        serial::Code started = device().read(req, bytes->data() + at, static_cast<std::uint32_t>(piece));
        if (started != serial::Code::ok && started != serial::Code::pending) return fail(VESKOR_E_READ);

        std::uint32_t got = 0;
        if (timeout > 0) {
            const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(
                std::max(deadline - Clock::now(), Clock::duration{}));
            req.event().wait(static_cast<int>(remaining.count()));
            serial::Code r = req.result(&got, false);
            if (r == serial::Code::incomplete) {
                if (device().cancel(req) != serial::Code::ok &&
                    device().purge(serial::kPurgeRxAbort) != serial::Code::ok)
                    return fail(VESKOR_E_CANCEL);
                req.result(&got, true);  // the bytes that came before the cancel are kept
                bytes->resize(at + got);
                return com::S_OK;
            }
            if (r != serial::Code::ok) return fail(com::E_UNEXPECTED);
        } else if (req.result(&got, true) != serial::Code::ok) {
            return fail(com::E_UNEXPECTED);
        }
        bytes->resize(at + got);
        left -= piece;
        piece = std::min(left, bytes->size());
    }
    return com::S_OK;
}

HRESULT Veskor::Read(com::Variant numBytesToRead, com::Variant timeout, com::Variant numBytesRead,
                     std::u16string* text) {
    if (!text) return com::E_POINTER;
    return guard([&] {
        std::string bytes;
        if (HRESULT hr = readBytes(numBytesToRead, timeout, &bytes); com::failed(hr)) return hr;
        *text = com::widen(bytes);
        storeCount(numBytesRead, static_cast<std::int32_t>(bytes.size()));
        return com::S_OK;
    });
}

HRESULT Veskor::ReadBinary(com::Variant numBytesToRead, com::Variant timeout, com::Variant numBytesRead,
                           std::int64_t* block) {
    if (!block) return com::E_POINTER;
    return guard([&] {
        std::string bytes;
        if (HRESULT hr = readBytes(numBytesToRead, timeout, &bytes); com::failed(hr)) return hr;
        void* p = nullptr;
        if (!bytes.empty()) {
            p = com::taskMemAlloc(bytes.size());
            if (!p) return fail(com::E_UNEXPECTED);
            std::memcpy(p, bytes.data(), bytes.size());
        }
        *block = static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(p));
        storeCount(numBytesRead, static_cast<std::int32_t>(bytes.size()));
        return com::S_OK;
    });
}

HRESULT Veskor::ClearRQ() {
    if (!isOpen()) return fail(VESKOR_E_PORTCLOSED);
    if (device().purge(serial::kPurgeRxAbort | serial::kPurgeRxClear) != serial::Code::ok)
        return fail(VESKOR_E_PURGE);
    return com::S_OK;
}

HRESULT Veskor::ClearTQ() {
    if (!isOpen()) return fail(VESKOR_E_PORTCLOSED);
    if (device().purge(serial::kPurgeTxAbort | serial::kPurgeTxClear) != serial::Code::ok)
        return fail(VESKOR_E_PURGE);
    shared_->releaseFinishedWrites(100);
    return com::S_OK;
}

HRESULT Veskor::queueBytes(std::uint32_t serial::QueueStatus::*queue, std::int32_t* value) {
    if (!value) return com::E_POINTER;
    if (!isOpen()) {
        *value = 0;
        return com::S_OK;
    }
    serial::QueueStatus q;
    std::uint32_t errors;
    if (device().clearError(&errors, &q) != serial::Code::ok) return fail(VESKOR_E_STATUS);
    *value = static_cast<std::int32_t>(q.*queue);
    return com::S_OK;
}

HRESULT Veskor::get_BytesUsedRQ(std::int32_t* value) {
    return queueBytes(&serial::QueueStatus::inQueue, value);
}

HRESULT Veskor::get_BytesUsedTQ(std::int32_t* value) {
    return queueBytes(&serial::QueueStatus::outQueue, value);
}

HRESULT Veskor::GetErrorStatus(std::int32_t* parityError, std::int32_t* framingError,
                               std::int32_t* overrunError) {
    if (!parityError || !framingError || !overrunError) return com::E_POINTER;
    if (!isOpen()) return fail(VESKOR_E_PORTCLOSED);
    std::uint32_t errors = 0;
    if (device().clearError(&errors, nullptr) != serial::Code::ok) return fail(VESKOR_E_STATUS);
    *parityError = (errors & serial::kParityError) ? 1 : 0;
    *framingError = (errors & serial::kFramingError) ? 1 : 0;
    *overrunError = (errors & serial::kOverrun) ? 1 : 0;
    return com::S_OK;
}

HRESULT Veskor::SendXon() {
    if (!isOpen()) return fail(VESKOR_E_PORTCLOSED);
    return device().escape(serial::Escape::setXon) == serial::Code::ok ? com::S_OK : fail(VESKOR_E_ESCAPE);
}

HRESULT Veskor::SendXoff() {
    if (!isOpen()) return fail(VESKOR_E_PORTCLOSED);
    return device().escape(serial::Escape::setXoff) == serial::Code::ok ? com::S_OK : fail(VESKOR_E_ESCAPE);
}

}  // namespace veskor
