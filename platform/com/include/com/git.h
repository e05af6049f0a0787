// The global interface table: a process-wide table through which an interface registered on its
// own apartment's thread is fetched by any other thread.
//
// Fetched on the owning thread, the table hands out the object itself. Fetched on another
// thread, it hands out a proxy: each call on the proxy is posted into the owner's apartment,
// runs there when the owner serves it (com::serveApartment), and blocks the calling thread until
// it returns. Proxies carry dispatch calls (IDispatch, or a dispatch interface registered under
// its own identifier); other interfaces cannot cross threads (E_NOINTERFACE).
//
// A blocking call can be abandoned from a third thread (CallCanceller): this is how a monitor
// thread that waits for a host which is itself busy stopping it is released. An abandoned call
// returns RPC_E_CALL_CANCELED at once, and the call, if it has not started yet, never runs.
#pragma once

#include <com/apartment.h>
#include <com/base.h>

#include <cstdint>
#include <functional>
#include <memory>

namespace com {

// Registers `object` (answering `iid`) under a new cookie, holding one reference until it is
// revoked. Must be called on a thread that has entered an apartment (CO_E_NOTINITIALIZED).
// E_POINTER for null arguments, E_NOINTERFACE when the object does not answer `iid`.
HRESULT registerInterfaceInGlobal(IUnknown* object, const IID& iid, std::uint32_t* cookie);
// Forgets the cookie; the table's reference is released on the owner's thread (at its next
// serve when revoked elsewhere). E_INVALIDARG for an unknown cookie. Proxies fetched earlier
// then fail with RPC_E_DISCONNECTED.
HRESULT revokeInterfaceFromGlobal(std::uint32_t cookie);
// Fetches the interface `iid` of the object registered under `cookie` for the calling thread,
// with one reference the caller releases. E_INVALIDARG for an unknown cookie.
HRESULT getInterfaceFromGlobal(std::uint32_t cookie, const IID& iid, void** out);

// Calls of a proxy whose owner has left its apartment fail with RPC_E_DISCONNECTED.

// The apartment of the object registered under `cookie`; empty for an unknown cookie.
ApartmentRef apartmentOf(std::uint32_t cookie);

// Runs `work` on the thread of `apartment` and blocks until it returned there, like a proxy
// call: its result, RPC_E_CALL_CANCELED when the calling thread's calls are cancelled first
// (CallCanceller; `work` then never starts, or its end is not waited for), RPC_E_DISCONNECTED
// when the apartment has been left. On that apartment's own thread it runs at once. This lets
// a thread hand several calls to one apartment in a single trip.
HRESULT callInApartment(const ApartmentRef& apartment, std::function<HRESULT()> work);

// The right to abandon the blocking proxy calls of one thread. Take it on that thread
// (forThisThread) and hand it to the thread that may need to release it. cancel() abandons the
// call in progress and every later call from that thread until reset().
class CallCanceller {
public:
    static CallCanceller forThisThread();
    CallCanceller() = default;

    void cancel() const;
    void reset() const;
    bool cancelled() const;
    explicit operator bool() const { return state_ != nullptr; }

    struct State;

private:
    explicit CallCanceller(std::shared_ptr<State> s) : state_(std::move(s)) {}
    std::shared_ptr<State> state_;
};

}  // namespace com
