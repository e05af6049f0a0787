#include <com/apartment.h>
#include <com/git.h>
#include <com/interfaces.h>
#include <com/object.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace com {

// --- Abandoning calls -------------------------------------------------------------------------

// One per thread that makes proxy calls: the waiting caller sleeps on `cv` until its call is done
// or the thread's calls are cancelled.
struct CallCanceller::State {
    std::mutex mutex;
    std::condition_variable cv;
    bool cancelled = false;
};

namespace {

std::shared_ptr<CallCanceller::State> threadCallState() {
    thread_local std::shared_ptr<CallCanceller::State> state = std::make_shared<CallCanceller::State>();
    return state;
}

}  // namespace

CallCanceller CallCanceller::forThisThread() {
    return CallCanceller(threadCallState());
}

void CallCanceller::cancel() const {
    if (!state_) return;
    {
        std::lock_guard lock(state_->mutex);
        state_->cancelled = true;
    }
    state_->cv.notify_all();
}

void CallCanceller::reset() const {
    if (!state_) return;
    std::lock_guard lock(state_->mutex);
    state_->cancelled = false;
}

bool CallCanceller::cancelled() const {
    if (!state_) return false;
    std::lock_guard lock(state_->mutex);
    return state_->cancelled;
}

namespace {

// --- The table --------------------------------------------------------------------------------

// A registered object and the apartment it lives in. The reference it holds is released on the
// owner's thread: directly there, else posted there; when the owner has left its apartment
// there is no other thread the object could belong to, so it is released where it is.
struct Entry {
    ApartmentRef apartment;
    IUnknown* object = nullptr;
    IID iid;
    std::atomic<bool> revoked{false};

    ~Entry() {
        IUnknown* o = object;
        if (!o) return;
        if (isCurrent(apartment)) {
            o->Release();
        } else if (!post(apartment, [o] { o->Release(); })) {
            o->Release();
        }
    }
};
using EntryRef = std::shared_ptr<Entry>;

struct Table {
    std::mutex mutex;
    std::unordered_map<std::uint32_t, EntryRef> entries;
    std::uint32_t next = 0x100;
};

Table& table() {
    static Table* t = new Table;  // never destroyed: threads may use it during exit
    return *t;
}

EntryRef find(std::uint32_t cookie) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.entries.find(cookie);
    return it == t.entries.end() ? nullptr : it->second;
}

// --- A cross-apartment call ---------------------------------------------------------------------

// One blocking call into another apartment. `work` runs on the owner's thread; the caller waits
// for `done` or for its thread's calls to be cancelled.
struct Call {
    std::shared_ptr<CallCanceller::State> caller;
    // Guarded by caller->mutex:
    bool started = false;
    bool done = false;
    bool abandoned = false;
    HRESULT hr = S_OK;
    // Touched only on the owner's thread once posted.
    std::function<HRESULT()> work;

    void finish(HRESULT r) {
        {
            std::lock_guard lock(caller->mutex);
            if (done) return;
            hr = r;
            done = true;
        }
        caller->cv.notify_all();
    }
};
using CallRef = std::shared_ptr<Call>;

// Carried by the posted function: when the owner drops the call unrun (it left its apartment),
// the ticket's destruction completes it, so the caller never waits for a call that cannot run.
struct Ticket {
    CallRef call;
    ~Ticket() {
        if (call) call->finish(RPC_E_DISCONNECTED);
    }
};

// Posts `work` into `apartment` and waits. `*completed` tells whether `work` ran to its end, so
// that what it produced may be read; otherwise the result is RPC_E_CALL_CANCELED (abandoned) or
// RPC_E_DISCONNECTED (the apartment is gone).
HRESULT callOnOwner(const ApartmentRef& apartment, std::function<HRESULT()> work, bool* completed) {
    *completed = false;
    if (isCurrent(apartment)) {
        // The owner's own thread: posting would wait for ourselves.
        HRESULT hr = work();
        *completed = true;
        return hr;
    }
    auto call = std::make_shared<Call>();
    call->caller = threadCallState();
    {
        std::lock_guard lock(call->caller->mutex);
        if (call->caller->cancelled) return RPC_E_CALL_CANCELED;
    }
    call->work = std::move(work);
    auto ticket = std::make_shared<Ticket>();
    ticket->call = call;
    bool posted = post(apartment, [ticket] {
        CallRef c = ticket->call;
        {
            std::lock_guard lock(c->caller->mutex);
            if (c->abandoned || c->done) return;
            c->started = true;
        }
        HRESULT hr = c->work();
        c->work = nullptr;  // its captures go here, on the owner's thread
        c->finish(hr);
    });
    if (!posted) {
        ticket->call = nullptr;
        return RPC_E_DISCONNECTED;
    }
    ticket.reset();

    std::unique_lock lock(call->caller->mutex);
    call->caller->cv.wait(lock, [&] { return call->done || call->caller->cancelled; });
    if (!call->done) {
        // Abandoned: if it has not started it never will; if it runs, its results are dropped.
        call->abandoned = true;
        return RPC_E_CALL_CANCELED;
    }
    // Completed unrun (the owner dropped it) or run to its end.
    *completed = call->started;
    return call->hr;
}

// What a dispatch call carries. The arguments are copies (by-reference targets included), so
// the caller's memory is touched only by the caller, after completion; an abandoned call leaves
// nothing behind that points into the caller's stack.
struct Marshal {
    DISPID member = 0;
    IID riid;
    LCID lcid = 0;
    std::uint16_t flags = 0;
    std::vector<Variant> args;
    std::vector<Variant> refTargets;  // copies of by-reference targets; args point here
    std::vector<int> refIndex;        // for each arg, its index in refTargets or -1
    std::vector<DISPID> named;
    Variant result;
    ExcepInfo excep;
    std::uint32_t argErr = 0;
};

HRESULT runOnOwner(const EntryRef& entry, Marshal& call) {
    if (entry->revoked) return RPC_E_DISCONNECTED;
    ComPtr<IDispatch> dispatch = ComPtr<IUnknown>(entry->object).as<IDispatch>(IID_IDispatch);
    if (!dispatch) return E_NOINTERFACE;
    DispParams params;
    params.args = call.args.empty() ? nullptr : call.args.data();
    params.count = static_cast<std::uint32_t>(call.args.size());
    params.namedArgs = call.named.empty() ? nullptr : call.named.data();
    params.namedCount = static_cast<std::uint32_t>(call.named.size());
    return dispatch->Invoke(call.member, call.riid, call.lcid, call.flags, &params, &call.result, &call.excep,
                            &call.argErr);
}

// --- The proxy ----------------------------------------------------------------------------------

// Answers the interface it was fetched for, and IDispatch, by forwarding every call.
class DispatchProxy final : public DispatchSink<> {
public:
    DispatchProxy(EntryRef entry, const IID& iid) : entry_(std::move(entry)), iid_(iid) {}

    HRESULT QueryInterface(const IID& iid, void** out) override {
        return DispatchSink::QueryInterface(iid == iid_ ? IID_IDispatch : iid, out);
    }

    HRESULT Invoke(DISPID member, const IID& riid, LCID lcid, std::uint16_t flags, DispParams* params,
                   Variant* result, ExcepInfo* excep, std::uint32_t* argErr) override {
        if (entry_->revoked) return RPC_E_DISCONNECTED;
        if (isCurrent(entry_->apartment)) {
            // Used on the owner's own thread: posting would wait for ourselves.
            ComPtr<IDispatch> d = ComPtr<IUnknown>(entry_->object).as<IDispatch>(IID_IDispatch);
            if (!d) return E_NOINTERFACE;
            return d->Invoke(member, riid, lcid, flags, params, result, excep, argErr);
        }
        auto call = std::make_shared<Marshal>();
        call->member = member;
        call->riid = riid;
        call->lcid = lcid;
        call->flags = flags;
        if (params) {
            if (params->count && !params->args) return E_INVALIDARG;
            call->args.assign(params->args, params->args + params->count);
            call->refTargets.reserve(params->count);
            for (const Variant& a : call->args) {
                if (a.isByRef() && a.ref) {
                    call->refIndex.push_back(static_cast<int>(call->refTargets.size()));
                    call->refTargets.push_back(*a.ref);
                } else {
                    call->refIndex.push_back(-1);
                }
            }
            for (std::size_t i = 0; i < call->args.size(); ++i)
                if (call->refIndex[i] >= 0) call->args[i].ref = &call->refTargets[call->refIndex[i]];
            if (params->namedCount && params->namedArgs)
                call->named.assign(params->namedArgs, params->namedArgs + params->namedCount);
        }
        EntryRef entry = entry_;
        bool completed;
        HRESULT hr = callOnOwner(
            entry->apartment, [call, entry] { return runOnOwner(entry, *call); }, &completed);
        if (!completed) return hr;

        for (std::size_t i = 0; params && i < call->args.size(); ++i)
            if (call->refIndex[i] >= 0) *params->args[i].ref = call->refTargets[call->refIndex[i]];
        if (result) *result = call->result;
        if (excep) *excep = call->excep;
        if (argErr) *argErr = call->argErr;
        return hr;
    }

private:
    ~DispatchProxy() override = default;
    EntryRef entry_;
    IID iid_;
};

}  // namespace

HRESULT registerInterfaceInGlobal(IUnknown* object, const IID& iid, std::uint32_t* cookie) {
    if (!object || !cookie) return E_POINTER;
    ApartmentRef apartment = currentApartment();
    if (!apartment) return CO_E_NOTINITIALIZED;
    void* probe = nullptr;
    if (failed(object->QueryInterface(iid, &probe)) || !probe) return E_NOINTERFACE;
    auto entry = std::make_shared<Entry>();
    entry->apartment = apartment;
    entry->object = static_cast<IUnknown*>(probe);  // the reference the table holds
    entry->iid = iid;
    Table& t = table();
    std::lock_guard lock(t.mutex);
    std::uint32_t c = t.next++;
    if (t.next == 0) t.next = 0x100;
    t.entries.emplace(c, std::move(entry));
    *cookie = c;
    return S_OK;
}

HRESULT revokeInterfaceFromGlobal(std::uint32_t cookie) {
    EntryRef entry;
    {
        Table& t = table();
        std::lock_guard lock(t.mutex);
        auto it = t.entries.find(cookie);
        if (it == t.entries.end()) return E_INVALIDARG;
        entry = std::move(it->second);
        t.entries.erase(it);
    }
    entry->revoked = true;
    return S_OK;  // the reference goes with the last holder of the entry (Entry's destructor)
}

HRESULT getInterfaceFromGlobal(std::uint32_t cookie, const IID& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    EntryRef entry = find(cookie);
    if (!entry) return E_INVALIDARG;
    if (isCurrent(entry->apartment)) return entry->object->QueryInterface(iid, out);
    if (!(iid == IID_IUnknown || iid == IID_IDispatch || iid == entry->iid)) return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(new DispatchProxy(entry, entry->iid));
    return S_OK;
}

ApartmentRef apartmentOf(std::uint32_t cookie) {
    EntryRef entry = find(cookie);
    return entry ? entry->apartment : nullptr;
}

HRESULT callInApartment(const ApartmentRef& apartment, std::function<HRESULT()> work) {
    if (!work) return E_INVALIDARG;
    bool completed;
    return callOnOwner(apartment, std::move(work), &completed);
}

}  // namespace com
