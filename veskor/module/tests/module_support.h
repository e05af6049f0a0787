// Helpers for the module's tests, which use libVeskorMod.so only as a host does: through
// the component runtime, by ProgID and dispatch identifier.
#pragma once

#include <com/interfaces.h>
#include <com/registry.h>
#include <veskor/veskor.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace moduletest {

using com::HRESULT;

// A private registry file for the test (COM_REGISTRY_FILE), removed afterwards.
class TempRegistry {
public:
    TempRegistry();
    ~TempRegistry();
    com::Registry load() const;

private:
    std::string folder_;
};

struct ApartmentScope {
    ApartmentScope();
    ~ApartmentScope();
};

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
class Sink final : public com::IDispatch {
public:
    struct Call {
        com::DISPID dispid;
        std::vector<com::Variant> args;  // natural order
        std::thread::id thread;
    };
    std::vector<Call> calls;

    HRESULT QueryInterface(const com::IID& iid, void** out) override;
    std::uint32_t AddRef() override { return ++refs_; }
    std::uint32_t Release() override;
    HRESULT GetTypeInfoCount(std::uint32_t* c) override;
    HRESULT GetTypeInfo(std::uint32_t, com::LCID, com::ITypeInfo**) override { return com::E_NOTIMPL; }
    HRESULT GetIDsOfNames(const com::IID&, const std::u16string*, std::uint32_t, com::LCID,
                          com::DISPID*) override {
        return com::E_NOTIMPL;
    }
    HRESULT Invoke(com::DISPID member, const com::IID&, com::LCID, std::uint16_t, com::DispParams* params,
                   com::Variant*, com::ExcepInfo*, std::uint32_t*) override;

private:
    std::atomic<std::uint32_t> refs_{1};
};

}  // namespace moduletest
