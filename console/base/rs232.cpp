// The console's side of the serial component: the control is created by ProgID through the
// component runtime and every member is called by its dispatch identifier, so the console
// links the runtime and the component's public header only, never the component.
#include "console/base/rs232.h"

#include <com/activation.h>
#include <com/apartment.h>
#include <com/dispatch.h>
#include <com/errorinfo.h>
#include <com/object.h>
#include <com/registry.h>
#include <com/text.h>
#include <sarnel/version.h>
#include <veskor/veskor.h>

#include <array>
#include <span>
#include <utility>

#include "console/base/consoleerror.h"

namespace sarnel {

namespace {

using com::ComPtr;
using com::DISPID;
using com::HRESULT;
using com::Variant;

// The failed call's number and the component's description of it; a failure without one
// (the runtime's own) is described by its symbolic name.
[[noreturn]] void raise(HRESULT code, std::u16string description) {
    com::clearErrorInfo();  // consumed: it must not describe a later failure
    std::string text = com::narrow(description);
    if (text.empty()) text = "Component call failed (" + com::resultName(code) + ").";
    throw ConsoleError(code, text);
}

[[noreturn]] void raiseFromThread(HRESULT code) {
    auto info = com::getErrorInfo();
    raise(code, info ? info->description : std::u16string());
}

// The window's receiver of the control's events. It answers _IVeskorEvents and hands
// EvtCharReceived to the line handler; its calls arrive on the window's thread through the
// runtime's interface table.
class EventSink final : public com::DispatchSink<veskor::IID__IVeskorEvents> {
public:
    HRESULT Invoke(DISPID member, const com::IID&, com::LCID, std::uint16_t, com::DispParams*, Variant*,
                   com::ExcepInfo*, std::uint32_t*) override {
        if (member != veskor::DISPID_EvtCharReceived) return com::S_OK;  // the other events are not wired
        // A copy: the handler may replace itself, or the window may release its control.
        std::function<void()> handler = lineHandler;
        if (handler) handler();
        return com::S_OK;
    }

    std::function<void()> lineHandler;
};

class Rs232 final : public SerialControl {
public:
    Rs232() {
        if (!com::currentApartment())
            throw ConsoleError(com::CO_E_NOTINITIALIZED, "The window's thread has no component apartment.");
        com::setRegistryFolder(SARNEL_REGISTRY_FOLDER);  // where a registered component is looked up
        if (HRESULT hr = com::createInstance(com::narrow(veskor::kProgId), com::IID_IDispatch, disp_);
            com::failed(hr))
            raiseFromThread(hr);
        auto container = disp_.as<com::IConnectionPointContainer>(com::IID_IConnectionPointContainer);
        if (!container) raise(com::E_NOINTERFACE, u"The serial control has no connection points.");
        if (HRESULT hr = container->FindConnectionPoint(veskor::IID__IVeskorEvents, point_.put());
            com::failed(hr))
            raiseFromThread(hr);
        sink_ = ComPtr<EventSink>::attach(new EventSink);
        if (HRESULT hr = point_->Advise(sink_.get(), &cookie_); com::failed(hr)) raiseFromThread(hr);
    }

    ~Rs232() override {
        sink_->lineHandler = nullptr;
        point_->Unadvise(cookie_);
        // Releasing the last reference destroys the control, which closes its port.
    }

    // --- SerialControl ---------------------------------------------------------------------

    void open(const std::string& portName, const std::string& settings) override {
        call(veskor::DISPID_Open, com::DISPATCH_METHOD, text(portName), text(settings));
    }
    void close() override { call(veskor::DISPID_Close, com::DISPATCH_METHOD); }
    bool isOpen() override { return get(veskor::DISPID_IsOpen).i4 != 0; }
    std::string portName() override { return com::narrow(get(veskor::DISPID_PortName).str); }

    std::int32_t write(const std::string& data, std::int32_t count, std::int32_t timeoutMs) override {
        return call(veskor::DISPID_Write, com::DISPATCH_METHOD, text(data), count, timeoutMs).i4;
    }
    void writeBackground(const std::string& data) override {
        call(veskor::DISPID_Write, com::DISPATCH_METHOD, text(data));
    }
    std::string read() override { return com::narrow(call(veskor::DISPID_Read, com::DISPATCH_METHOD).str); }

    std::int32_t getBreak() override { return get(veskor::DISPID_Break).i4; }
    void setBreak(std::int32_t value) override { put(veskor::DISPID_Break, value); }
    void clearRQ() override { call(veskor::DISPID_ClearRQ, com::DISPATCH_METHOD); }
    void clearTQ() override { call(veskor::DISPID_ClearTQ, com::DISPATCH_METHOD); }

    void setLineHandler(std::function<void()> handler) override { sink_->lineHandler = std::move(handler); }

    // One member by dispatch identifier; a failure becomes ConsoleError.
    Variant callArgs(DISPID id, std::uint16_t flags, std::span<Variant> args) {
        com::InvokeResult r = com::invokeArgs(disp_.get(), id, flags, args);
        if (com::failed(r.hr)) raise(r.code(), r.excep.description);
        return std::move(r.value);
    }

private:
    static Variant text(const std::string& bytes) { return Variant(com::widen(bytes)); }

    template <class... A>
    Variant call(DISPID id, std::uint16_t flags, A&&... args) {
        std::array<Variant, sizeof...(A)> list{Variant(std::forward<A>(args))...};
        return callArgs(id, flags, list);
    }
    Variant get(DISPID id) { return call(id, com::DISPATCH_PROPERTYGET); }
    template <class T>
    void put(DISPID id, T&& value) {
        call(id, com::DISPATCH_PROPERTYPUT, std::forward<T>(value));
    }

    ComPtr<com::IDispatch> disp_;
    ComPtr<com::IConnectionPoint> point_;
    ComPtr<EventSink> sink_;
    std::uint32_t cookie_ = 0;
};

}  // namespace

std::unique_ptr<SerialControl> createRs232() {
    return std::make_unique<Rs232>();
}

Variant callRs232(SerialControl& control, DISPID member, std::uint16_t flags, std::vector<Variant> args) {
    return dynamic_cast<Rs232&>(control).callArgs(member, flags, args);
}

}  // namespace sarnel
