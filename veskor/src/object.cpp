// The Veskor object: identity, connection point, properties, Open and Close.
#include "object.h"

#include <com/errorinfo.h>
#include <com/text.h>

#include <algorithm>
#include <cstdlib>

#include "classinfo.h"
#include "create.h"
#include "dispatch.h"
#include "settings.h"
#include "typelibrary.h"

namespace veskor {

namespace {

std::atomic<long> liveObjects{0};

constexpr std::size_t kMaxPortPath = 1023;
const std::string kDevicePrefix = "\\\\.\\";

}  // namespace

HRESULT fail(HRESULT hr, const std::string& cause) noexcept {
    const char* message = resultMessage(hr);
    try {
        std::string text = message ? message : "An unexpected error occurred.";
        if (!cause.empty()) text += "  " + cause + ".";
        com::setErrorInfo({com::widen(text), kProgIdVersioned, IID_IVeskor});
    } catch (...) {
        // No memory even for the description: the code alone still says what happened.
    }
    return hr;
}

bool optionalInt(const com::Variant& v, std::int32_t* out) {
    const com::Variant& d = v.deref();
    if (d.isMissing() || d.vt == com::VT_EMPTY) {
        *out = 0;
        return true;
    }
    com::Variant n;
    if (com::failed(com::changeType(n, d, com::VT_I4))) return false;
    *out = n.i4;
    return true;
}

long veskorObjectCount() {
    return liveObjects.load();
}

HRESULT createVeskor(const com::IID& iid, void** out) {
    if (!out) return com::E_POINTER;
    *out = nullptr;
    Veskor* v = new (std::nothrow) Veskor;
    if (!v) return com::E_OUTOFMEMORY;
    HRESULT hr = v->QueryInterface(iid, out);
    v->Release();
    return hr;
}

Veskor::Veskor() {
    ++liveObjects;
}

Veskor::~Veskor() {
    Close();
    std::vector<std::uint32_t> cookies;
    {
        std::lock_guard lock(shared_->connectionsMutex);
        cookies.swap(shared_->cookies);
    }
    for (std::uint32_t c : cookies) com::revokeInterfaceFromGlobal(c);
    --liveObjects;
}

// --- IUnknown, IDispatch, containers -------------------------------------------------------

HRESULT Veskor::QueryInterface(const com::IID& iid, void** out) {
    if (iid == com::IID_IProvideClassInfo || iid == com::IID_IProvideClassInfo2)
        return provideClassInfo(static_cast<IVeskor*>(this), out);
    return Dispatch::QueryInterface(iid, out);
}

const com::TypeDesc& Veskor::typeDesc() {
    return veskorInterfaceDesc();
}

HRESULT Veskor::typeInfo(com::ITypeInfo** out) {
    return veskorTypeInfo(IID_IVeskor, out);
}

HRESULT Veskor::invokeMember(const com::FuncDesc& member, com::CallArgs& args, com::Variant* result) {
    return invokeVeskor(this, member, args, result);
}

HRESULT Veskor::FindConnectionPoint(const com::IID& iid, com::IConnectionPoint** out) {
    if (!out) return com::E_POINTER;
    *out = nullptr;
    if (iid != IID__IVeskorEvents) return com::CONNECT_E_NOCONNECTION;
    point_.AddRef();
    *out = &point_;
    return com::S_OK;
}

HRESULT Veskor::InterfaceSupportsErrorInfo(const com::IID& iid) {
    return iid == IID_IVeskor ? com::S_OK : com::S_FALSE;
}

HRESULT Veskor::ConnectionPoint::QueryInterface(const com::IID& iid, void** out) {
    return com::queryInterface<com::IConnectionPoint>(this, iid, out);
}

HRESULT Veskor::ConnectionPoint::GetConnectionInterface(com::IID* iid) {
    if (!iid) return com::E_POINTER;
    *iid = IID__IVeskorEvents;
    return com::S_OK;
}

HRESULT Veskor::ConnectionPoint::GetConnectionPointContainer(com::IConnectionPointContainer** out) {
    if (!out) return com::E_POINTER;
    owner_.AddRef();
    *out = &owner_;
    return com::S_OK;
}

HRESULT Veskor::ConnectionPoint::Advise(com::IUnknown* sink, std::uint32_t* cookie) {
    if (!sink || !cookie) return com::E_POINTER;
    com::ComPtr<com::IUnknown> events =
        com::ComPtr<com::IUnknown>(sink).as<com::IUnknown>(IID__IVeskorEvents);
    if (!events) return com::CONNECT_E_CANNOTCONNECT;
    Shared& s = *owner_.shared_;
    std::lock_guard lock(s.connectionsMutex);
    std::uint32_t c = 0;
    HRESULT hr = com::registerInterfaceInGlobal(events.get(), IID__IVeskorEvents, &c);
    if (com::failed(hr)) return hr;
    try {
        s.cookies.push_back(c);
    } catch (...) {
        com::revokeInterfaceFromGlobal(c);
        return com::CONNECT_E_ADVISELIMIT;
    }
    *cookie = c;
    return com::S_OK;
}

HRESULT Veskor::ConnectionPoint::Unadvise(std::uint32_t cookie) {
    Shared& s = *owner_.shared_;
    {
        std::lock_guard lock(s.connectionsMutex);
        auto it = std::find(s.cookies.begin(), s.cookies.end(), cookie);
        if (it == s.cookies.end()) return com::CONNECT_E_NOCONNECTION;
        s.cookies.erase(it);
    }
    com::revokeInterfaceFromGlobal(cookie);
    return com::S_OK;
}

// --- Control block helpers -----------------------------------------------------------------

HRESULT Veskor::readBlock(serial::ControlBlock* block) {
    return device().getState(block) == serial::Code::ok ? com::S_OK : fail(VESKOR_E_GETSTATE);
}

HRESULT Veskor::applyBlock(serial::ControlBlock& block) {
    return device().setState(block) == serial::Code::ok ? com::S_OK : fail(VESKOR_E_SETSTATE);
}

// Reads one setting of the device into its field while open; the field otherwise.
#define REFRESH(field, expr)                                            \
    do {                                                                \
        if (!value) return com::E_POINTER;                              \
        if (isOpen()) {                                                 \
            serial::ControlBlock b;                                     \
            if (HRESULT hr = readBlock(&b); com::failed(hr)) return hr; \
            field = (expr);                                             \
        }                                                               \
    } while (0)

// Changes one setting of the device while open (the field is stored by the caller after it).
#define APPLY(change)                                                   \
    do {                                                                \
        if (isOpen()) {                                                 \
            serial::ControlBlock b;                                     \
            if (HRESULT hr = readBlock(&b); com::failed(hr)) return hr; \
            change;                                                     \
            if (HRESULT hr = applyBlock(b); com::failed(hr)) return hr; \
        }                                                               \
    } while (0)

// --- Line settings ------------------------------------------------------------------------------

HRESULT Veskor::get_BaudRate(std::int32_t* value) {
    REFRESH(baudRate_, static_cast<std::int32_t>(b.baudRate));
    *value = baudRate_;
    return com::S_OK;
}

HRESULT Veskor::put_BaudRate(std::int32_t value) {
    if (!isAcceptedRate(value)) return fail(com::E_INVALIDARG);
    APPLY(b.baudRate = static_cast<std::uint32_t>(value));
    baudRate_ = value;
    return com::S_OK;
}

HRESULT Veskor::get_DataBits(std::int16_t* value) {
    REFRESH(dataBits_, static_cast<std::int16_t>(b.byteSize));
    *value = dataBits_;
    return com::S_OK;
}

HRESULT Veskor::put_DataBits(std::int16_t value) {
    if (value < 5 || value > 8) return fail(com::E_INVALIDARG);
    if (isOpen() && !validFormat(value, stopCode_)) return fail(VESKOR_E_STOPBITS);
    APPLY(b.byteSize = static_cast<std::uint8_t>(value));
    dataBits_ = value;
    return com::S_OK;
}

HRESULT Veskor::get_Parity(std::int16_t* value) {
    REFRESH(parity_, static_cast<std::int16_t>(b.parity));
    *value = parity_;
    return com::S_OK;
}

HRESULT Veskor::put_Parity(std::int16_t value) {
    if (value < 0 || value > 4) return fail(com::E_INVALIDARG);
    APPLY(b.parity = static_cast<std::uint8_t>(value));
    parity_ = value;
    return com::S_OK;
}

HRESULT Veskor::get_StopBits(std::int16_t* value) {
    REFRESH(stopCode_, static_cast<std::int16_t>(b.stopBits));
    switch (stopCode_) {
        case 0:
            *value = 1;
            break;
        case 1:
            *value = 15;
            break;
        case 2:
            *value = 2;
            break;
        default:
            *value = 0;
            break;
    }
    return com::S_OK;
}

HRESULT Veskor::put_StopBits(std::int16_t value) {
    std::int16_t code;
    switch (value) {
        case 1:
            code = 0;
            break;
        case 15:
            code = 1;
            break;
        case 2:
            code = 2;
            break;
        default:
            return fail(com::E_INVALIDARG);
    }
    if (isOpen() && !validFormat(dataBits_, code)) return fail(VESKOR_E_STOPBITS);
    APPLY(b.stopBits = static_cast<std::uint8_t>(code));
    stopCode_ = code;
    return com::S_OK;
}

HRESULT Veskor::get_PortName(std::u16string* value) {
    if (!value) return com::E_POINTER;
    if (!isOpen()) return fail(VESKOR_E_PORTCLOSED);
    return guard([&] {
        *value = com::widen(portPath_);
        return com::S_OK;
    });
}

// --- Modem lines ----------------------------------------------------------------------------

HRESULT Veskor::modemBit(std::uint32_t bit, std::int32_t on, std::int32_t* value) {
    if (!value) return com::E_POINTER;
    if (!isOpen()) {
        *value = 0;
        return com::S_OK;
    }
    std::uint32_t bits = 0;
    if (device().modemStatus(&bits) != serial::Code::ok) return fail(VESKOR_E_MODEM);
    *value = (bits & bit) ? on : 0;
    return com::S_OK;
}

HRESULT Veskor::get_Cd(std::int32_t* value) {
    return modemBit(serial::kCdOn, 128, value);
}
HRESULT Veskor::get_Cts(std::int32_t* value) {
    return modemBit(serial::kCtsOn, 16, value);
}
HRESULT Veskor::get_Dsr(std::int32_t* value) {
    return modemBit(serial::kDsrOn, 32, value);
}
HRESULT Veskor::get_Ring(std::int32_t* value) {
    return modemBit(serial::kRingOn, 1, value);
}

HRESULT Veskor::setLine(bool dtr, std::int32_t value) {
    if (!isOpen()) return com::S_OK;
    serial::Escape e = dtr ? (value == 1 ? serial::Escape::setDtr : serial::Escape::clrDtr)
                           : (value == 1 ? serial::Escape::setRts : serial::Escape::clrRts);
    return device().escape(e) == serial::Code::ok ? com::S_OK : fail(VESKOR_E_ESCAPE);
}

HRESULT Veskor::get_Dtr(std::int32_t* value) {
    if (!value) return com::E_POINTER;
    *value = dtr_;
    return com::S_OK;
}

HRESULT Veskor::put_Dtr(std::int32_t value) {
    if (dtrDsr_ != 0) return fail(VESKOR_E_DTRHANDSHAKE);
    if (HRESULT hr = setLine(true, value); com::failed(hr)) return hr;
    dtr_ = value;
    return com::S_OK;
}

HRESULT Veskor::get_DtrDsr(std::int32_t* value) {
    REFRESH(dtrDsr_, b.dtrControl == serial::kLineHandshake ? 1 : 0);
    *value = dtrDsr_;
    return com::S_OK;
}

HRESULT Veskor::put_DtrDsr(std::int32_t value) {
    APPLY({
        b.dtrControl = value ? serial::kLineHandshake : (dtr_ ? serial::kLineEnable : serial::kLineDisable);
        b.outxDsrFlow = (value & 1) != 0;
    });
    dtrDsr_ = value;
    if (value == 0 && isOpen()) {
        put_Dtr(dtr_);  // restores the wanted line state; its failure is not this call's
        com::clearErrorInfo();
    }
    return com::S_OK;
}

HRESULT Veskor::get_RtsCts(std::int32_t* value) {
    REFRESH(rtsCts_, b.rtsControl == serial::kLineHandshake ? 1 : 0);
    *value = rtsCts_;
    return com::S_OK;
}

HRESULT Veskor::put_RtsCts(std::int32_t value) {
    APPLY({
        b.rtsControl = value ? serial::kLineHandshake : (rts_ ? serial::kLineEnable : serial::kLineDisable);
        b.outxCtsFlow = (value & 1) != 0;
    });
    rtsCts_ = value;
    if (value == 0 && isOpen()) {
        put_Rts(rts_);
        com::clearErrorInfo();
    }
    return com::S_OK;
}

HRESULT Veskor::get_Rts(std::int32_t* value) {
    if (!value) return com::E_POINTER;
    *value = rts_;
    return com::S_OK;
}

HRESULT Veskor::put_Rts(std::int32_t value) {
    if (rtsCts_ == 1) return fail(VESKOR_E_RTSHANDSHAKE);
    if (HRESULT hr = setLine(false, value); com::failed(hr)) return hr;
    rts_ = value;
    return com::S_OK;
}

HRESULT Veskor::get_XonXoff(std::int32_t* value) {
    REFRESH(xonXoff_, (b.outX && b.inX) ? 1 : 0);
    *value = xonXoff_;
    return com::S_OK;
}

HRESULT Veskor::put_XonXoff(std::int32_t value) {
    APPLY(b.outX = b.inX = (value & 1) != 0);
    xonXoff_ = value;
    return com::S_OK;
}

HRESULT Veskor::get_PortHandle(std::int32_t* value) {
    if (!value) return com::E_POINTER;
    if (!isOpen()) return fail(VESKOR_E_PORTCLOSED);
    *value = device().handle();
    return com::S_OK;
}

HRESULT Veskor::get_Break(std::int32_t* value) {
    if (!value) return com::E_POINTER;
    std::uint32_t errors = 0;
    // When the status cannot be read (the device went away) the field answers: the host's next
    // Write then reports the lost device, which is what its user needs to hear.
    if (isOpen() && device().clearError(&errors, nullptr) == serial::Code::ok)
        shared_->breakState = (errors & serial::kBreakDetected) ? 1 : 0;
    *value = shared_->breakState;
    return com::S_OK;
}

HRESULT Veskor::put_Break(std::int32_t value) {
    if (!isOpen()) return fail(VESKOR_E_PORTCLOSED);
    if (device().escape(value ? serial::Escape::setBreak : serial::Escape::clrBreak) != serial::Code::ok)
        return fail(VESKOR_E_BREAK);
    shared_->breakState = value;
    breakWanted_ = value;
    return com::S_OK;
}

HRESULT Veskor::get_EventChar(std::u16string* value) {
    if (!value) return com::E_POINTER;
    if (isOpen()) {
        serial::ControlBlock b;
        if (HRESULT hr = readBlock(&b); com::failed(hr)) return hr;
        shared_->eventChar = b.evtChar;
    }
    std::uint8_t c = shared_->eventChar;
    *value = c ? std::u16string(1, static_cast<char16_t>(c)) : std::u16string();  // no allocation
    return com::S_OK;
}

HRESULT Veskor::put_EventChar(const std::u16string& value) {
    // The first character's byte (one byte per character on the line); the rest is not needed.
    const std::string first = com::narrow(std::u16string_view(value).substr(0, 1));
    std::uint8_t c = first.empty() ? 0 : static_cast<std::uint8_t>(first[0]);
    APPLY(b.evtChar = c);
    shared_->eventChar = c;
    return com::S_OK;
}

HRESULT Veskor::get_FireOnEventChar(std::int32_t* value) {
    if (!value) return com::E_POINTER;
    *value = shared_->fireOnEventChar;
    return com::S_OK;
}

HRESULT Veskor::put_FireOnEventChar(std::int32_t value) {
    shared_->fireOnEventChar = value;
    return com::S_OK;
}

HRESULT Veskor::get_EnableReadOnEventChar(std::int32_t* value) {
    if (!value) return com::E_POINTER;
    *value = shared_->enableReadOnEventChar;
    return com::S_OK;
}

HRESULT Veskor::put_EnableReadOnEventChar(std::int32_t value) {
    shared_->enableReadOnEventChar = value;
    return com::S_OK;
}

HRESULT Veskor::get_IsOpen(std::int32_t* value) {
    if (!value) return com::E_POINTER;
    *value = isOpen() ? 1 : 0;
    return com::S_OK;
}

// --- Open and Close --------------------------------------------------------------------------

HRESULT Veskor::Open(const std::u16string& portName, com::Variant settings) {
    // No memory, or no thread for the device or the monitor: what was acquired goes with the
    // exception (the device closes, the port is free again) and the host gets a code.
    return guard([&] { return openPort(portName, settings); });
}

HRESULT Veskor::openPort(const std::u16string& portName, const com::Variant& settings) {
    if (isOpen()) return fail(VESKOR_E_ALREADYOPEN);

    LineSettings line{baudRate_, dataBits_, parity_, stopCode_};
    const com::Variant& s = settings.deref();
    if (!s.isMissing() && s.vt != com::VT_EMPTY) {
        com::Variant text;
        if (com::failed(com::changeType(text, s, com::VT_BSTR))) return fail(com::E_INVALIDARG);
        line = resolveSettings(com::narrow(text.str), line);
    }

    std::string name = com::narrow(portName);
    if (kDevicePrefix.size() + name.size() > kMaxPortPath) return fail(com::E_INVALIDARG);
    std::string path = kDevicePrefix + name;

    if (!validFormat(line.dataBits, line.stopCode)) return fail(VESKOR_E_STOPBITS);

    serial::Failure why;
    std::unique_ptr<serial::Device> dev =
        serial::openDevice(serial::resolvePort(name, serial::environmentNames()), &why);
    if (!dev) return fail(VESKOR_E_OPEN, why.cause());

    // Configure before the monitor starts: a failure then has only the device to release, and
    // the port is closed again (nothing half-open is left for the host to clean up).
    serial::Timeouts none;
    if (dev->setTimeouts(none) != serial::Code::ok) return fail(VESKOR_E_TIMEOUTS);
    serial::ControlBlock b;
    if (dev->getState(&b) != serial::Code::ok) return fail(VESKOR_E_GETSTATE);
    dev->setQueueSizes(8192, 8192);
    b.baudRate = static_cast<std::uint32_t>(line.baudRate);
    b.byteSize = static_cast<std::uint8_t>(line.dataBits);
    b.parity = static_cast<std::uint8_t>(line.parity);
    b.stopBits = static_cast<std::uint8_t>(line.stopCode);
    b.xonLim = 4096;
    b.xoffLim = 2730;
    b.xonChar = 0x11;
    b.xoffChar = 0x13;
    b.evtChar = shared_->eventChar;
    b.parityCheck = true;
    b.outxDsrFlow = (dtrDsr_ & 1) != 0;
    b.dtrControl = dtrDsr_ ? serial::kLineHandshake : (dtr_ ? serial::kLineEnable : serial::kLineDisable);
    b.outxCtsFlow = (rtsCts_ & 1) != 0;
    b.rtsControl = rtsCts_ ? serial::kLineHandshake : (rts_ ? serial::kLineEnable : serial::kLineDisable);
    b.txContinueOnXoff = true;
    b.outX = b.inX = (xonXoff_ & 1) != 0;
    b.nullStrip = false;
    bool stateSet = dev->setState(b) == serial::Code::ok;
    dev->escape(dtr_ ? serial::Escape::setDtr : serial::Escape::clrDtr);
    dev->escape(rts_ ? serial::Escape::setRts : serial::Escape::clrRts);
    // The line state the host asked for with the Break put; a break that was only received
    // must not put our own line into the break state.
    dev->escape(breakWanted_ ? serial::Escape::setBreak : serial::Escape::clrBreak);
    if (!stateSet) return fail(VESKOR_E_SETSTATE);

    auto session = std::make_shared<Session>();
    session->device = std::move(dev);
    session->thread = std::thread(runMonitor, shared_, session);
    session->started.wait(-1);  // its canceller must exist before Close can need it

    // Nothing from here on may throw: the monitor runs.
    portPath_ = std::move(path);
    baudRate_ = line.baudRate;
    dataBits_ = line.dataBits;
    parity_ = line.parity;
    stopCode_ = line.stopCode;
    session_ = std::move(session);
    return com::S_OK;
}

void Veskor::stopSession() {
    std::shared_ptr<Session> s = std::move(session_);
    if (!s) return;
    s->stop.set();
    // The monitor may be waiting for this very thread to run an event call: abandon it.
    s->canceller.cancel();
    if (s->finished.wait(1050)) {
        s->thread.join();
    } else {
        // Not scheduled in time (a heavily loaded machine): it ends on its own and holds what
        // it uses (the shared blocks and the device), so nothing here dangles.
        s->thread.detach();
    }
    s->device.reset();  // closes the port (the last reference, unless the thread was detached)
}

HRESULT Veskor::Close() {
    stopSession();
    shared_->releaseFinishedWrites(100);
    return com::S_OK;
}

}  // namespace veskor
