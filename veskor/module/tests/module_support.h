// Helpers for the module's tests, which use libVeskorMod.so only as a host does: through
// the component runtime, by ProgID and dispatch identifier.
#pragma once

#include <com/interfaces.h>
#include <com/object.h>
#include <comtest/tempregistry.h>
#include <veskor/veskor.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace moduletest {

using com::HRESULT;

// A private registry file for the test, and the test thread's apartment.
using comtest::ApartmentScope;
using comtest::TempRegistry;

// libVeskorMod.so beside the test program.
std::string modulePath();
// An export of the module, looked up in the copy the runtime (or the test) loaded.
void* moduleExport(const char* name);

// A pseudo-terminal: the control opens `slave`, the test drives `master`.
class Pty {
public:
    Pty();
    ~Pty();
    const std::string& slave() const { return slave_; }
    void send(const std::string& bytes);
    // Reads what the control sent, waiting up to `ms` for `count` bytes.
    std::string receive(std::size_t count, int ms = 2000);

private:
    int master_ = -1;
    std::string slave_;
};

// Serves the thread's apartment until `done` holds or the time is up; true when it held.
bool serveUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(3));

// Records the events it receives, with the thread they ran on.
class Sink final : public com::DispatchSink<veskor::IID__IVeskorEvents> {
public:
    struct Call {
        com::DISPID dispid;
        std::vector<com::Variant> args;  // natural order
        std::thread::id thread;
    };
    std::vector<Call> calls;

    HRESULT Invoke(com::DISPID member, const com::IID&, com::LCID, std::uint16_t, com::DispParams* params,
                   com::Variant*, com::ExcepInfo*, std::uint32_t*) override;
};

}  // namespace moduletest
