// The monitor thread's events: delivery on the host's thread, order, reading to the event
// character, modem and line events, and Close while an event call waits.
#include <gtest/gtest.h>
#include <serial/nullmodem.h>

#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <thread>

#include "veskor_support.h"

using namespace veskortest;
using namespace veskor;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<com::DISPID> ids(const std::vector<Fired>& events) {
    std::vector<com::DISPID> r;
    for (const Fired& f : events) r.push_back(f.dispid);
    return r;
}

class PtyEvents : public ::testing::Test {
protected:
    ApartmentScope apartment;
    Pty pty;
    com::ComPtr<IVeskor> v = makeVeskor();
    com::ComPtr<Sink> sink = Sink::create();

    void SetUp() override {
        advise(v.get(), sink.get());
        ASSERT_EQ(v->Open(u(pty.slavePath), com::Variant(u"115200,n,8,1")), com::S_OK);
    }
    void TearDown() override { v->Close(); }
    std::size_t count(com::DISPID id) { return sink->of(id).size(); }
};

TEST_F(PtyEvents, EachLineFeedRaisesOneEventOnTheHostThreadAfterDataReceived) {
    for (int i = 0; i < 3; ++i) {
        pty.write("!0000022600\r\n");
        ASSERT_TRUE(serveUntil([&] {
            return count(DISPID_EvtCharReceived) == static_cast<std::size_t>(i + 1);
        })) << i
            << ": " << count(DISPID_EvtCharReceived) << " " << count(DISPID_DataReceived);
    }
    serveFor(30);
    auto fired = sink->of(DISPID_EvtCharReceived);
    ASSERT_EQ(fired.size(), 3u);
    for (const Fired& f : fired) {
        EXPECT_EQ(f.thread, std::this_thread::get_id());
        ASSERT_EQ(f.args.size(), 2u);
        EXPECT_EQ(f.args[0].vt, com::VT_I4);  // reverse order: the count first
        EXPECT_EQ(f.args[0].i4, 0);
        EXPECT_EQ(f.args[1].str, u"");
    }
    EXPECT_EQ(sink->lastLcid, com::LOCALE_USER_DEFAULT);
    EXPECT_EQ(sink->lastFlags, com::DISPATCH_METHOD);
    // DataReceived comes before the EvtCharReceived of the same notification.
    auto all = ids(sink->events());
    auto firstEvt = std::find(all.begin(), all.end(), DISPID_EvtCharReceived);
    EXPECT_NE(std::find(all.begin(), firstEvt, DISPID_DataReceived), firstEvt);
    // With reading left to the host the data is all still queued.
    std::u16string t;
    v->Read(none(), none(), none(), &t);
    EXPECT_EQ(t.size(), 3u * 13);
}

TEST_F(PtyEvents, ReadOnEventCharDeliversOneSegment) {
    v->put_EnableReadOnEventChar(1);
    pty.write("first\n");
    ASSERT_TRUE(serveUntil([&] { return count(DISPID_EvtCharReceived) == 1; }));
    Fired f = sink->of(DISPID_EvtCharReceived)[0];
    EXPECT_EQ(f.args[1].str, u"first\n");
    EXPECT_EQ(f.args[0].i4, 6);

    // A NUL cuts the text, not the count.
    pty.write(std::string("ab\0cd\n", 6));
    ASSERT_TRUE(serveUntil([&] { return count(DISPID_EvtCharReceived) == 2; }));
    f = sink->of(DISPID_EvtCharReceived)[1];
    EXPECT_EQ(f.args[1].str, u"ab");
    EXPECT_EQ(f.args[0].i4, 6);
}

TEST_F(PtyEvents, TwoLinesInOneNotificationDeliverTheFirstOnly) {
    v->put_EnableReadOnEventChar(1);
    // Hold the host inside a handler so that both lines arrive behind one notification.
    bool first = true;
    sink->onEvent = [&](const Fired& f) {
        if (f.dispid == DISPID_DataReceived && first) {
            first = false;
            pty.write("one\ntwo\n");
            // Long enough for both lines to reach the queue even on a loaded machine.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    };
    pty.write("x");
    ASSERT_TRUE(serveUntil([&] { return count(DISPID_EvtCharReceived) == 1; }));
    serveFor(100);
    auto fired = sink->of(DISPID_EvtCharReceived);
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].args[1].str, u"xone\n");
    std::int32_t rq;
    v->get_BytesUsedRQ(&rq);
    EXPECT_EQ(rq, 4);  // "two\n" waits for the next notification
    pty.write("three\n");
    ASSERT_TRUE(serveUntil([&] { return count(DISPID_EvtCharReceived) == 2; }));
    EXPECT_EQ(sink->of(DISPID_EvtCharReceived)[1].args[1].str, u"two\n");
}

TEST_F(PtyEvents, ReadingToTheEventCharNeverWaitsWhenTheHostTookTheData) {
    v->put_EnableReadOnEventChar(1);
    // The host empties the queue from inside DataReceived, before the monitor reads.
    sink->onEvent = [&](const Fired& f) {
        if (f.dispid == DISPID_DataReceived) {
            std::u16string t;
            v->Read(none(), none(), none(), &t);
        }
    };
    pty.write("gone\n");
    ASSERT_TRUE(serveUntil([&] { return count(DISPID_EvtCharReceived) == 1; }, 1000));
    Fired f = sink->of(DISPID_EvtCharReceived)[0];
    EXPECT_GE(f.args[0].i4, 0);
    EXPECT_EQ(static_cast<std::size_t>(f.args[0].i4), f.args[1].str.size());
    // The monitor is not stuck: the next line is delivered.
    sink->onEvent = nullptr;
    pty.write("next\n");
    ASSERT_TRUE(serveUntil([&] { return count(DISPID_EvtCharReceived) == 2; }));
    EXPECT_EQ(sink->of(DISPID_EvtCharReceived)[1].args[1].str, u"next\n");
}

TEST_F(PtyEvents, FireOnEventCharZeroRaisesNothing) {
    v->put_FireOnEventChar(0);
    pty.write("line\n");
    ASSERT_TRUE(serveUntil([&] { return count(DISPID_DataReceived) >= 1; }));
    serveFor(50);
    EXPECT_EQ(count(DISPID_EvtCharReceived), 0u);
}

TEST_F(PtyEvents, WriteRaisesTQEmpty) {
    std::int32_t n;
    v->Write(u"ping\r", none(), none(), &n);
    ASSERT_TRUE(serveUntil([&] { return count(DISPID_TQEmpty) >= 1; }));
}

TEST_F(PtyEvents, CloseWhileAnEventCallWaitsReturnsInAboutASecond) {
    pty.write("line\n");
    // Give the monitor time to post its call; the host does not serve it, it closes.
    ASSERT_TRUE(com::waitApartment(Clock::now() + std::chrono::seconds(2)));
    auto t0 = Clock::now();
    EXPECT_EQ(v->Close(), com::S_OK);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    EXPECT_LT(took, 1100);
    std::int32_t open = 1;
    v->get_IsOpen(&open);
    EXPECT_EQ(open, 0);
    // The abandoned call never runs afterwards, and the port can be opened again at once.
    serveFor(50);
    EXPECT_EQ(count(DISPID_DataReceived) + count(DISPID_EvtCharReceived), 0u);
    auto other = makeVeskor();
    EXPECT_EQ(other->Open(u(pty.slavePath), none()), com::S_OK);
    other->Close();
}

TEST_F(PtyEvents, CloseWithoutEventsIsQuick) {
    auto t0 = Clock::now();
    v->Close();
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count(), 100);
}

TEST_F(PtyEvents, CloseFromInsideAHandler) {
    sink->onEvent = [&](const Fired& f) {
        if (f.dispid == DISPID_EvtCharReceived) v->Close();
    };
    pty.write("bye\n");
    ASSERT_TRUE(serveUntil([&] { return count(DISPID_EvtCharReceived) == 1; }));
    std::int32_t open = 1;
    v->get_IsOpen(&open);
    EXPECT_EQ(open, 0);
}

TEST_F(PtyEvents, CloseInDataReceivedEndsTheNotification) {
    // Reading to the event character would come next: after Close it must not touch the port.
    v->put_EnableReadOnEventChar(1);
    sink->onEvent = [&](const Fired& f) {
        if (f.dispid == DISPID_DataReceived) v->Close();
    };
    pty.write("bye\n");
    ASSERT_TRUE(serveUntil([&] { return count(DISPID_DataReceived) == 1; }));
    serveFor(50);
    EXPECT_EQ(count(DISPID_EvtCharReceived), 0u);
    std::int32_t open = 1;
    v->get_IsOpen(&open);
    EXPECT_EQ(open, 0);
    auto other = makeVeskor();  // the port was closed by the time Close returned
    EXPECT_EQ(other->Open(u(pty.slavePath), none()), com::S_OK);
    other->Close();
}

TEST_F(PtyEvents, SinksInTwoApartmentsEachGetEveryEventOnTheirOwnThread) {
    auto remote = Sink::create();
    std::atomic<bool> stop{false};
    std::promise<std::thread::id> advised;
    std::thread other([&] {
        ApartmentScope own;
        advise(v.get(), remote.get());
        advised.set_value(std::this_thread::get_id());
        while (!stop) serveFor(5);
    });
    std::thread::id otherId = advised.get_future().get();
    pty.write("one\n");
    bool both = serveUntil(
        [&] { return count(DISPID_EvtCharReceived) == 1 && remote->of(DISPID_EvtCharReceived).size() == 1; });
    stop = true;
    other.join();
    ASSERT_TRUE(both);
    EXPECT_EQ(sink->of(DISPID_EvtCharReceived)[0].thread, std::this_thread::get_id());
    EXPECT_EQ(remote->of(DISPID_EvtCharReceived)[0].thread, otherId);
    for (const auto& events : {ids(sink->events()), ids(remote->events())}) {
        auto evt = std::find(events.begin(), events.end(), DISPID_EvtCharReceived);
        EXPECT_NE(std::find(events.begin(), evt, DISPID_DataReceived), evt);
    }
}

// --- Modem and line events on the null-modem pair -------------------------------------------

class PairEvents : public ::testing::Test {
protected:
    ApartmentScope apartment;
    std::shared_ptr<serial::NullModem> cable = serial::NullModem::create("NM-EVT-A", "NM-EVT-B");
    com::ComPtr<IVeskor> v = makeVeskor();
    com::ComPtr<Sink> sink = Sink::create();
    std::unique_ptr<serial::Device> far;

    void SetUp() override {
        advise(v.get(), sink.get());
        ASSERT_EQ(v->Open(u"NM-EVT-A", none()), com::S_OK);
        far = serial::openDevice("NM-EVT-B");
        ASSERT_TRUE(far);
        serveFor(20);
        sink->clear();
    }
    void TearDown() override { v->Close(); }
    std::vector<Fired> waitFor(com::DISPID id, std::size_t n) {
        serveUntil([&] { return sink->of(id).size() >= n; });
        return sink->of(id);
    }
};

TEST_F(PairEvents, ModemLineChangesCarryTheirValues) {
    struct Case {
        serial::Escape escape;
        com::DISPID event;
        std::int16_t value;
    };
    const Case cases[] = {
        // The far end raised both lines when it opened.
        {serial::Escape::clrRts, DISPID_CtsToggle, 0},
        {serial::Escape::setRts, DISPID_CtsToggle, 16},
        {serial::Escape::clrDtr, DISPID_DsrToggle, 0},
        {serial::Escape::setDtr, DISPID_DsrToggle, 32},
    };
    std::map<com::DISPID, std::size_t> seen;
    for (const Case& c : cases) {
        far->escape(c.escape);
        auto fired = waitFor(c.event, ++seen[c.event]);
        // CD follows DTR too, read when the monitor handles it: wait for it before moving on.
        if (c.event == DISPID_DsrToggle) waitFor(DISPID_CdToggle, seen[c.event]);
        ASSERT_EQ(fired.size(), seen[c.event]);
        ASSERT_EQ(fired.back().args.size(), 1u);
        EXPECT_EQ(fired.back().args[0].vt, com::VT_I2);
        EXPECT_EQ(fired.back().args[0].i2, c.value);
    }
    auto cd = waitFor(DISPID_CdToggle, 2);
    ASSERT_EQ(cd.size(), 2u);
    EXPECT_EQ(cd[0].args[0].i2, 0);
    EXPECT_EQ(cd[1].args[0].i2, 128);
}

TEST_F(PairEvents, BreakSetsTheBreakFieldAndRaisesBreakSignal) {
    far->escape(serial::Escape::setBreak);
    ASSERT_EQ(waitFor(DISPID_BreakSignal, 1).size(), 1u);
    std::int32_t br = 0;
    v->get_Break(&br);  // the flag was read: the field shows the break
    EXPECT_EQ(br, 1);
}

TEST_F(PairEvents, LineErrorsAndRing) {
    cable->injectErrors(0, serial::kFramingError);
    EXPECT_EQ(waitFor(DISPID_Error, 1).size(), 1u);
    cable->setRing(0, true);
    EXPECT_EQ(waitFor(DISPID_RingEvent, 1).size(), 1u);
}

TEST_F(PairEvents, EveryConnectedSinkIsCalledAndUnadviseStops) {
    auto second = Sink::create();
    std::uint32_t cookie = advise(v.get(), second.get());
    serial::Request r;
    far->write(r, "\n", 1);
    serveUntil([&] { return second->of(DISPID_EvtCharReceived).size() == 1; });
    EXPECT_EQ(sink->of(DISPID_EvtCharReceived).size(), 1u);
    EXPECT_EQ(second->of(DISPID_EvtCharReceived).size(), 1u);

    com::ComPtr<com::IConnectionPoint> cp;
    v.as<com::IConnectionPointContainer>(com::IID_IConnectionPointContainer)
        ->FindConnectionPoint(IID__IVeskorEvents, cp.put());
    EXPECT_EQ(cp->Unadvise(cookie), com::S_OK);
    EXPECT_EQ(cp->Unadvise(cookie), com::CONNECT_E_NOCONNECTION);
    far->write(r, "\n", 1);
    serveUntil([&] { return sink->of(DISPID_EvtCharReceived).size() == 2; });
    serveFor(30);
    EXPECT_EQ(second->of(DISPID_EvtCharReceived).size(), 1u);
}

TEST(ConnectionPoint, RefusesWhatIsNotAnEventSink) {
    ApartmentScope apartment;
    auto v = makeVeskor();
    com::ComPtr<com::IConnectionPoint> cp;
    auto cpc = v.as<com::IConnectionPointContainer>(com::IID_IConnectionPointContainer);
    ASSERT_TRUE(cpc);
    EXPECT_EQ(cpc->FindConnectionPoint(com::IID_IDispatch, cp.put()), com::CONNECT_E_NOCONNECTION);
    ASSERT_EQ(cpc->FindConnectionPoint(IID__IVeskorEvents, cp.put()), com::S_OK);
    std::uint32_t cookie;
    EXPECT_EQ(cp->Advise(nullptr, &cookie), com::E_POINTER);
    // The object itself is no event sink.
    EXPECT_EQ(cp->Advise(v.get(), &cookie), com::CONNECT_E_CANNOTCONNECT);
    auto sei = v.as<com::ISupportErrorInfo>(com::IID_ISupportErrorInfo);
    ASSERT_TRUE(sei);
    EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_IVeskor), com::S_OK);
}

}  // namespace
