// The global interface table: same-thread fetches, blocking cross-thread dispatch calls,
// abandoning a waiting call, owners that go away, and work handed to an apartment whole.
#include <com/apartment.h>
#include <com/git.h>
#include <com/interfaces.h>
#include <com/object.h>
#include <comtest/tempregistry.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace com;
using namespace std::chrono_literals;

namespace {

const IID IID_ITestEvents{0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};

// Records where and with what it is called; member 2 doubles its by-reference argument.
class Recorder final : public DispatchSink<IID_ITestEvents> {
public:
    HRESULT Invoke(DISPID member, const IID&, LCID, std::uint16_t, DispParams* params, Variant* result,
                   ExcepInfo*, std::uint32_t*) override {
        calls++;
        thread = std::this_thread::get_id();
        if (member == 2 && params && params->count == 1 && params->args[0].isByRef())
            params->args[0].ref->i4 *= 2;
        if (result) *result = Variant(std::int32_t(member * 10));
        return member == 3 ? E_FAIL : S_OK;
    }
    std::atomic<int> calls{0};
    std::thread::id thread;
};

using Apartment = comtest::ApartmentScope;

// The number of references held on `object`.
std::uint32_t refsOf(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

ComPtr<Recorder> make() {
    return ComPtr<Recorder>::attach(new Recorder);
}

TEST(GlobalInterfaceTable, OwnerThreadGetsTheObjectItself) {
    Apartment a;
    auto r = make();
    std::uint32_t cookie = 0;
    ASSERT_EQ(registerInterfaceInGlobal(r.get(), IID_ITestEvents, &cookie), S_OK);
    ComPtr<IDispatch> d;
    ASSERT_EQ(getInterfaceFromGlobal(cookie, IID_IDispatch, d.putVoid()), S_OK);
    EXPECT_EQ(static_cast<IDispatch*>(r.get()), d.get());
    d.reset();
    EXPECT_EQ(revokeInterfaceFromGlobal(cookie), S_OK);
    EXPECT_EQ(revokeInterfaceFromGlobal(cookie), E_INVALIDARG);
    EXPECT_EQ(getInterfaceFromGlobal(cookie, IID_IDispatch, d.putVoid()), E_INVALIDARG);
    EXPECT_EQ(refsOf(r.get()), 1u);  // the table's reference went with the revoke
}

TEST(GlobalInterfaceTable, RegistrationNeedsAnApartmentAndTheInterface) {
    auto r = make();
    std::uint32_t cookie;
    EXPECT_EQ(registerInterfaceInGlobal(r.get(), IID_IDispatch, &cookie), CO_E_NOTINITIALIZED);
    Apartment a;
    EXPECT_EQ(registerInterfaceInGlobal(r.get(), IID_IClassFactory, &cookie), E_NOINTERFACE);
    EXPECT_EQ(registerInterfaceInGlobal(nullptr, IID_IDispatch, &cookie), E_POINTER);
}

TEST(GlobalInterfaceTable, CrossThreadCallRunsOnTheOwnerAndBlocksUntilServed) {
    Apartment a;
    auto r = make();
    std::uint32_t cookie;
    ASSERT_EQ(registerInterfaceInGlobal(r.get(), IID_ITestEvents, &cookie), S_OK);
    std::atomic<bool> returned{false};
    auto call = std::async(std::launch::async, [&] {
        ComPtr<IDispatch> d;
        EXPECT_EQ(getInterfaceFromGlobal(cookie, IID_ITestEvents, d.putVoid()), S_OK);
        EXPECT_EQ(getInterfaceFromGlobal(cookie, IID_IClassFactory, d.putVoid()), E_NOINTERFACE);
        getInterfaceFromGlobal(cookie, IID_IDispatch, d.putVoid());
        Variant target(std::int32_t(21));
        Variant arg = Variant::byRef(target);
        DispParams p{&arg, nullptr, 1, 0};
        Variant result;
        HRESULT hr =
            d->Invoke(2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &p, &result, nullptr, nullptr);
        returned = true;
        EXPECT_EQ(result.i4, 20);
        EXPECT_EQ(target.i4, 42);  // the by-reference argument came back
        EXPECT_EQ(d->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), E_FAIL);
        return hr;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(returned);  // nobody served yet
    auto deadline = std::chrono::steady_clock::now() + 2s;
    while (call.wait_for(0ms) != std::future_status::ready && std::chrono::steady_clock::now() < deadline) {
        waitApartment(std::chrono::steady_clock::now() + 10ms);
        serveApartment();
    }
    ASSERT_EQ(call.get(), S_OK);
    EXPECT_EQ(r->calls, 2);
    EXPECT_EQ(r->thread, std::this_thread::get_id());
    revokeInterfaceFromGlobal(cookie);
}

TEST(GlobalInterfaceTable, CancelAbandonsAWaitingCallWhichThenNeverRuns) {
    Apartment a;
    auto r = make();
    std::uint32_t cookie;
    ASSERT_EQ(registerInterfaceInGlobal(r.get(), IID_ITestEvents, &cookie), S_OK);
    std::promise<CallCanceller> canceller;
    auto call = std::async(std::launch::async, [&] {
        canceller.set_value(CallCanceller::forThisThread());
        ComPtr<IDispatch> d;
        getInterfaceFromGlobal(cookie, IID_IDispatch, d.putVoid());
        HRESULT first = d->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr);
        // Later calls from a cancelled thread fail at once.
        HRESULT second = d->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr);
        return std::make_pair(first, second);
    });
    CallCanceller c = canceller.get_future().get();
    ASSERT_TRUE(waitApartment(std::chrono::steady_clock::now() + 2s));  // the call is posted
    auto t0 = std::chrono::steady_clock::now();
    c.cancel();
    auto [first, second] = call.get();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 200ms);
    EXPECT_EQ(first, RPC_E_CALL_CANCELED);
    EXPECT_EQ(second, RPC_E_CALL_CANCELED);
    serveApartment();
    EXPECT_EQ(r->calls, 0);
    revokeInterfaceFromGlobal(cookie);
}

TEST(GlobalInterfaceTable, CallsToAnOwnerThatLeftFail) {
    std::uint32_t cookie = 0;
    std::promise<void> registered, done;
    std::thread owner([&] {
        Apartment a;
        auto r = make();
        registerInterfaceInGlobal(r.get(), IID_ITestEvents, &cookie);
        registered.set_value();
        done.get_future().wait();
    });
    registered.get_future().wait();
    ComPtr<IDispatch> d;
    ASSERT_EQ(getInterfaceFromGlobal(cookie, IID_IDispatch, d.putVoid()), S_OK);
    // A call posted while the owner never serves is dropped when it leaves: the caller returns.
    auto call = std::async(std::launch::async, [&] {
        return d->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr);
    });
    std::this_thread::sleep_for(30ms);
    done.set_value();
    owner.join();
    EXPECT_EQ(call.get(), RPC_E_DISCONNECTED);
    EXPECT_EQ(d->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              RPC_E_DISCONNECTED);
    revokeInterfaceFromGlobal(cookie);
}

TEST(GlobalInterfaceTable, RevokedEntryDisconnectsItsProxies) {
    Apartment a;
    auto r = make();
    std::uint32_t cookie;
    registerInterfaceInGlobal(r.get(), IID_ITestEvents, &cookie);
    auto result = std::async(std::launch::async, [&] {
                      ComPtr<IDispatch> d;
                      getInterfaceFromGlobal(cookie, IID_IDispatch, d.putVoid());
                      revokeInterfaceFromGlobal(cookie);
                      return d->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr);
                  }).get();
    EXPECT_EQ(result, RPC_E_DISCONNECTED);
    serveApartment();  // the table's reference is released here, on the owner's thread
    EXPECT_EQ(refsOf(r.get()), 1u);
}

// --- Work handed to an apartment ------------------------------------------------------------

// Serves the calling thread's apartment until `f` is ready (at most 2 s).
template <class F>
void serveUntilReady(F& f) {
    auto deadline = std::chrono::steady_clock::now() + 2s;
    while (f.wait_for(0ms) != std::future_status::ready && std::chrono::steady_clock::now() < deadline) {
        waitApartment(std::chrono::steady_clock::now() + 10ms);
        serveApartment();
    }
}

TEST(CallInApartment, RunsOnTheOwnerAndReturnsItsResultOnceServed) {
    Apartment a;
    auto r = make();
    std::uint32_t cookie;
    ASSERT_EQ(registerInterfaceInGlobal(r.get(), IID_ITestEvents, &cookie), S_OK);
    ApartmentRef home = apartmentOf(cookie);
    ASSERT_TRUE(home);
    EXPECT_TRUE(isCurrent(home));
    EXPECT_FALSE(apartmentOf(cookie + 1000));

    // Work handed over runs here, when this thread serves, and may call the object directly.
    std::atomic<bool> returned{false};
    std::thread::id ranOn;
    auto call = std::async(std::launch::async, [&] {
        HRESULT hr = callInApartment(home, [&] {
            ranOn = std::this_thread::get_id();
            ComPtr<IDispatch> d;
            getInterfaceFromGlobal(cookie, IID_IDispatch, d.putVoid());
            return d->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr);
        });
        returned = true;
        return hr;
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(returned);
    serveUntilReady(call);
    EXPECT_EQ(call.get(), E_FAIL);  // the work's own result
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(r->calls, 1);

    // On the owner's thread itself it runs at once.
    int ran = 0;
    EXPECT_EQ(callInApartment(home, [&] { return ++ran, S_FALSE; }), S_FALSE);
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(callInApartment(home, nullptr), E_INVALIDARG);
    revokeInterfaceFromGlobal(cookie);
}

TEST(CallInApartment, AbandonedOrUnservedWorkReturnsAndNeverRuns) {
    Apartment a;
    ApartmentRef home = currentApartment();
    std::atomic<int> ran{0};
    std::promise<CallCanceller> canceller;
    auto call = std::async(std::launch::async, [&] {
        canceller.set_value(CallCanceller::forThisThread());
        return callInApartment(home, [&] { return ++ran, S_OK; });
    });
    CallCanceller c = canceller.get_future().get();
    ASSERT_TRUE(waitApartment(std::chrono::steady_clock::now() + 2s));
    c.cancel();
    EXPECT_EQ(call.get(), RPC_E_CALL_CANCELED);
    serveApartment();
    EXPECT_EQ(ran, 0);

    // An apartment that is left drops what waits in it; later work is refused.
    ApartmentRef gone;
    std::promise<void> entered, leave;
    std::thread owner([&] {
        Apartment b;
        gone = currentApartment();
        entered.set_value();
        leave.get_future().wait();
    });
    entered.get_future().wait();
    auto waiting =
        std::async(std::launch::async, [&] { return callInApartment(gone, [&] { return ++ran, S_OK; }); });
    std::this_thread::sleep_for(30ms);
    leave.set_value();
    owner.join();
    EXPECT_EQ(waiting.get(), RPC_E_DISCONNECTED);
    EXPECT_EQ(callInApartment(gone, [&] { return ++ran, S_OK; }), RPC_E_DISCONNECTED);
    EXPECT_EQ(ran, 0);
}

}  // namespace
