// Helpers for the Veskor tests: an owned object, a recording event sink, a pseudo-terminal
// whose master the test drives, and serving the test thread's apartment until something holds.
#pragma once

#include <com/apartment.h>
#include <com/interfaces.h>
#include <com/object.h>
#include <comtest/tempregistry.h>
#include <veskor/veskor.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace veskortest {

using com::HRESULT;

// The test thread's apartment for the life of a fixture.
using comtest::ApartmentScope;

com::ComPtr<veskor::IVeskor> makeVeskor();

// The missing optional argument and a by-reference out-argument.
inline com::Variant none() {
    return com::Variant::missing();
}
inline com::Variant i4(std::int32_t v) {
    return com::Variant(v);
}

struct Fired {
    com::DISPID dispid;
    std::vector<com::Variant> args;  // as passed: reverse order
    std::thread::id thread;
};

// An _IVeskorEvents sink that records every call; `onEvent` (optional) runs inside the call.
class Sink final : public com::DispatchSink<veskor::IID__IVeskorEvents> {
public:
    static com::ComPtr<Sink> create() { return com::ComPtr<Sink>::attach(new Sink); }

    HRESULT Invoke(com::DISPID member, const com::IID&, com::LCID lcid, std::uint16_t flags,
                   com::DispParams* params, com::Variant*, com::ExcepInfo*, std::uint32_t*) override;

    std::vector<Fired> events() {
        std::lock_guard l(mutex_);
        return events_;
    }
    std::vector<Fired> of(com::DISPID id);
    void clear() {
        std::lock_guard l(mutex_);
        events_.clear();
    }
    std::function<void(const Fired&)> onEvent;
    com::LCID lastLcid = 0;
    std::uint16_t lastFlags = 0;

private:
    Sink() = default;
    ~Sink() override = default;
    std::mutex mutex_;
    std::vector<Fired> events_;
};

// Connects `sink` to `v`'s events; returns the cookie.
std::uint32_t advise(veskor::IVeskor* v, com::IUnknown* sink);

// Serves the calling thread's apartment until `done` holds or `ms` pass; true when it holds.
bool serveUntil(const std::function<bool()>& done, int ms = 2000);
// Serves for `ms` regardless.
void serveFor(int ms);

// A pseudo-terminal: the test keeps the master; the object opens `slavePath`.
class Pty {
public:
    Pty();
    ~Pty();
    void write(const std::string& bytes);
    // Reads what arrives within `ms` until `n` bytes came.
    std::string read(std::size_t n, int ms = 1000);
    void closeMaster();  // the far end goes away: a hang-up for the slave's user
    int master() const { return master_; }
    std::string slavePath;

private:
    int master_ = -1;
    int slaveKeep_ = -1;  // keeps the slave side alive between opens
};

std::u16string u(const std::string& s);
std::string bytes(const std::u16string& s);

}  // namespace veskortest
