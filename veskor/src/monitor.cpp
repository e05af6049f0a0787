// The monitor thread: waits for the device's events and raises them to every connected sink on
// the host's thread, releases finished background writes, and stops when Close asks.
#include <com/apartment.h>
#include <com/text.h>

#include "object.h"

namespace veskor {

namespace {

// What raising one wakeup's events needs. It runs on the monitor thread or, handed over whole,
// on the sinks' thread; there a handler may Close the port, after which nothing here touches
// the device (Close sets `stop` first, on that same thread) and nothing more is raised.
struct Delivery {
    Shared& shared;
    serial::Device& device;
    const serial::Event& stop;

    bool stopped() const { return stop.isSet(); }
};

// Calls every connected sink with one event. The list's lock is held only to read a cookie,
// never during a call, so a handler may Advise, Unadvise or Close.
void raise(const Delivery& d, com::DISPID dispid, std::vector<com::Variant> args = {}) {
    Shared& shared = d.shared;
    std::size_t count;
    {
        std::lock_guard lock(shared.connectionsMutex);
        count = shared.cookies.size();
    }
    for (std::size_t i = 0; i < count && !d.stopped(); ++i) {
        std::uint32_t cookie;
        {
            std::lock_guard lock(shared.connectionsMutex);
            if (i >= shared.cookies.size()) break;
            cookie = shared.cookies[i];
        }
        com::ComPtr<com::IDispatch> sink;
        if (com::failed(com::getInterfaceFromGlobal(cookie, com::IID_IDispatch, sink.putVoid())) || !sink)
            continue;
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
        if (started != serial::Code::ok || req.result(&got, false) != serial::Code::ok || got != 1)
            return bytes;
        bytes.push_back(c);
        if (static_cast<std::uint8_t>(c) == eventChar) return bytes;
    }
}

void modemEvent(const Delivery& d, std::uint32_t bit, std::int16_t on, com::DISPID dispid) {
    if (d.stopped()) return;
    std::uint32_t bits;
    if (d.device.modemStatus(&bits) != serial::Code::ok) return;  // suppresses only this event
    raise(d, dispid, {com::Variant(static_cast<std::int16_t>((bits & bit) ? on : 0))});
}

void handle(const Delivery& d, std::uint32_t events) {
    Shared& shared = d.shared;
    if (events & serial::kEvBreak) {
        shared.breakState = 1;
        raise(d, DISPID_BreakSignal);
    }
    if (events & serial::kEvCts) modemEvent(d, serial::kCtsOn, 16, DISPID_CtsToggle);
    if (events & serial::kEvDsr) modemEvent(d, serial::kDsrOn, 32, DISPID_DsrToggle);
    if (events & serial::kEvError) raise(d, DISPID_Error);
    if (events & serial::kEvRing) raise(d, DISPID_RingEvent);
    if (events & serial::kEvCd) modemEvent(d, serial::kCdOn, 128, DISPID_CdToggle);
    if (events & serial::kEvRxChar) raise(d, DISPID_DataReceived);
    if ((events & serial::kEvRxFlag) && shared.fireOnEventChar && !d.stopped()) {
        std::string bytes;
        if (shared.enableReadOnEventChar) bytes = readToEventChar(d.device, shared.eventChar);
        // The text stops at a NUL byte; the count still counts every byte.
        std::string text = bytes.substr(0, bytes.find('\0'));
        // Reverse order: the count first, then the text.
        raise(d, DISPID_EvtCharReceived,
              {com::Variant(static_cast<std::int32_t>(bytes.size())), com::Variant(com::widen(text))});
    }
    if (events & serial::kEvTxEmpty) raise(d, DISPID_TQEmpty);
}

// The one apartment every connected sink lives in; empty when there are none or they live in
// several.
com::ApartmentRef sinkApartment(Shared& shared) {
    std::lock_guard lock(shared.connectionsMutex);
    com::ApartmentRef home;
    for (std::uint32_t cookie : shared.cookies) {
        com::ApartmentRef a = com::apartmentOf(cookie);
        if (!a || (home && a != home)) return nullptr;
        home = a;
    }
    return home;
}

// Raises one wakeup's events. When the sinks share one apartment (the host's, as a rule) the
// whole sequence runs there in a single call, each sink called directly: a line then wakes the
// host's thread once, where a call per event would wake it once for DataReceived and again for
// EvtCharReceived, and every wake of a sleeping thread costs tens of microseconds. The order of
// events and of the read up to the event character is the same either way.
void deliver(const std::shared_ptr<Shared>& shared, const std::shared_ptr<serial::Device>& device,
             const serial::Event& stop, std::uint32_t events) {
    com::ApartmentRef home = sinkApartment(*shared);
    if (!home) {
        handle(Delivery{*shared, *device, stop}, events);
        return;
    }
    // Captured by value: an abandoned call may still be running there after this thread has
    // gone on. The device is reached without a reference, so that Close still closes it; by then
    // `stop` is set and the device is no longer touched.
    serial::Device* raw = device.get();
    com::callInApartment(home, [shared, raw, stop, events] {
        handle(Delivery{*shared, *raw, stop}, events);
        return com::S_OK;
    });
}

}  // namespace

void runMonitor(std::shared_ptr<Shared> shared, std::shared_ptr<Session> session) {
    com::initializeApartment();
    session->canceller = com::CallCanceller::forThisThread();
    // Ours for the life of the thread: Close drops its reference once the thread has ended, or
    // at once when the thread does not end in time, and the device must outlive the thread.
    std::shared_ptr<serial::Device> device = session->device;

    serial::Request wait;
    device->setEventMask(serial::kEvAll);
    serial::Code first = device->waitEvent(wait);
    bool waiting = first == serial::Code::ok || first == serial::Code::pending;
    // Open returns only now: from here on no event of the device is missed.
    session->started.set();
    for (;;) {
        shared->releaseFinishedWrites(0);
        // Without a wait (the device hung up) only the stop event can end the loop.
        int which =
            waiting ? serial::waitAny({&session->stop, &wait.event()}, -1) : (session->stop.wait(-1), 0);
        if (which == 0) break;
        std::uint32_t events = 0;
        serial::Code r = wait.result(nullptr, false, &events);
        if (r == serial::Code::ok) deliver(shared, device, session->stop, events);
        serial::Code next = device->waitEvent(wait);
        waiting = next == serial::Code::ok || next == serial::Code::pending;
    }
    com::uninitializeApartment();
    session->finished.set();
}

}  // namespace veskor
