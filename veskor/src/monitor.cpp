// The monitor thread: waits for the device's events and raises them to every connected sink on
// the host's thread, releases finished background writes, and stops when Close asks.
#include "object.h"

#include <com/apartment.h>
#include <com/text.h>

namespace veskor {

namespace {

// Calls every connected sink with one event. The list's lock is held only to read a cookie,
// never during a call, so a handler may Advise, Unadvise or Close.
void raise(Shared& shared, com::DISPID dispid, std::vector<com::Variant> args = {}) {
    std::size_t count;
    {
        std::lock_guard lock(shared.connectionsMutex);
        count = shared.cookies.size();
    }
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t cookie;
        {
            std::lock_guard lock(shared.connectionsMutex);
            if (i >= shared.cookies.size()) break;
            cookie = shared.cookies[i];
        }
        com::ComPtr<com::IDispatch> sink;
        if (com::failed(com::getInterfaceFromGlobal(cookie, com::IID_IDispatch, sink.putVoid())) || !sink) continue;
        // Each call gets its own copy: a sink may change what it is given.
        std::vector<com::Variant> copy = args;
        com::DispParams params;
        params.args = copy.empty() ? nullptr : copy.data();
        params.count = static_cast<std::uint32_t>(copy.size());
        com::Variant result;
        sink->Invoke(dispid, com::IID_NULL, com::LOCALE_USER_DEFAULT, com::DISPATCH_METHOD, &params, &result,
                     nullptr, nullptr);
    }
}

// Takes the bytes from the receive queue up to and including the first event character. Only
// bytes already queued are taken: when the queue runs dry first (the host read them), what was
// collected is the result, and no read is left outstanding.
std::string readToEventChar(serial::Device& device, std::uint8_t eventChar) {
    std::string bytes;
    serial::Request req;
    for (;;) {
        char c;
        serial::Code started = device.read(req, &c, 1);
        if (started == serial::Code::pending) {
            device.cancel(req);  // this read only: the host may have reads of its own waiting
            std::uint32_t got = 0;
            if (req.result(&got, true) == serial::Code::ok && got == 1) bytes.push_back(c);
            return bytes;
        }
        std::uint32_t got = 0;
        if (started != serial::Code::ok || req.result(&got, false) != serial::Code::ok || got != 1) return bytes;
        bytes.push_back(c);
        if (static_cast<std::uint8_t>(c) == eventChar) return bytes;
    }
}

void modemEvent(Shared& shared, serial::Device& device, std::uint32_t bit, std::int16_t on, com::DISPID dispid) {
    std::uint32_t bits;
    if (device.modemStatus(&bits) != serial::Code::ok) return;  // suppresses only this event
    raise(shared, dispid, {com::Variant(static_cast<std::int16_t>((bits & bit) ? on : 0))});
}

void handle(Shared& shared, serial::Device& device, std::uint32_t events) {
    if (events & serial::kEvBreak) {
        shared.breakState = 1;
        raise(shared, DISPID_BreakSignal);
    }
    if (events & serial::kEvCts) modemEvent(shared, device, serial::kCtsOn, 16, DISPID_CtsToggle);
    if (events & serial::kEvDsr) modemEvent(shared, device, serial::kDsrOn, 32, DISPID_DsrToggle);
    if (events & serial::kEvError) raise(shared, DISPID_Error);
    if (events & serial::kEvRing) raise(shared, DISPID_RingEvent);
    if (events & serial::kEvCd) modemEvent(shared, device, serial::kCdOn, 128, DISPID_CdToggle);
    if (events & serial::kEvRxChar) raise(shared, DISPID_DataReceived);
    if ((events & serial::kEvRxFlag) && shared.fireOnEventChar) {
        std::string bytes;
        if (shared.enableReadOnEventChar) bytes = readToEventChar(device, shared.eventChar);
        // The text stops at a NUL byte; the count still counts every byte.
        std::string text = bytes.substr(0, bytes.find('\0'));
        // Reverse order: the count first, then the text.
        raise(shared, DISPID_EvtCharReceived,
              {com::Variant(static_cast<std::int32_t>(bytes.size())), com::Variant(com::widen(text))});
    }
    if (events & serial::kEvTxEmpty) raise(shared, DISPID_TQEmpty);
}

}  // namespace

void runMonitor(std::shared_ptr<Shared> shared, std::shared_ptr<Session> session) {
    com::initializeApartment();
    session->canceller = com::CallCanceller::forThisThread();
    // Ours for the life of the thread: Close drops its reference once the thread has ended, or
    // at once when the thread does not end in time, and the device must outlive the thread.
    std::shared_ptr<serial::Device> keep = session->device;
    serial::Device& device = *keep;

    serial::Request wait;
    device.setEventMask(serial::kEvAll);
    serial::Code first = device.waitEvent(wait);
    bool waiting = first == serial::Code::ok || first == serial::Code::pending;
    // Open returns only now: from here on no event of the device is missed.
    session->started.set();
    for (;;) {
        shared->releaseFinishedWrites(0);
        // Without a wait (the device hung up) only the stop event can end the loop.
        int which = waiting ? serial::waitAny({&session->stop, &wait.event()}, -1) : (session->stop.wait(-1), 0);
        if (which == 0) break;
        std::uint32_t events = 0;
        serial::Code r = wait.result(nullptr, false, &events);
        if (r == serial::Code::ok) handle(*shared, device, events);
        serial::Code next = device.waitEvent(wait);
        waiting = next == serial::Code::ok || next == serial::Code::pending;
    }
    com::uninitializeApartment();
    session->finished.set();
}

}  // namespace veskor
