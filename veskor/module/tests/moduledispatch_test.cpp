// Every member of IVeskor by dispatch identifier, through the module, closed and open on a
// pseudo-terminal, with optional arguments left out.
#include <com/activation.h>
#include <com/dispatch.h>
#include <com/taskmem.h>
#include <com/text.h>
#include <gtest/gtest.h>

#include "module_support.h"

using namespace com;
using namespace veskor;

namespace {

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(createInstance("VeskorMod.Veskor", IID_IDispatch, disp), S_OK); }
    void TearDown() override {
        if (disp) invoke(disp.get(), DISPID_Close, DISPATCH_METHOD);
    }
    InvokeResult get(DISPID id) { return invoke(disp.get(), id, DISPATCH_PROPERTYGET); }
    template <class T>
    InvokeResult put(DISPID id, T value) {
        return invoke(disp.get(), id, DISPATCH_PROPERTYPUT, value);
    }
    void open(const std::string& port) {
        auto r = invoke(disp.get(), DISPID_Open, DISPATCH_METHOD, widen(port));
        ASSERT_EQ(r.hr, S_OK) << std::hex << r.code() << " " << narrow(r.excep.description);
    }

    moduletest::TempRegistry reg;
    moduletest::ApartmentScope apartment;
    ComPtr<IDispatch> disp;
};

TEST_F(Dispatch, NewObjectPropertiesByDispid) {
    struct Case {
        DISPID id;
        std::uint16_t vt;
        std::int32_t value;
    } cases[] = {
        {DISPID_BaudRate, VT_I4, 9600},
        {DISPID_DataBits, VT_I2, 8},
        {DISPID_Parity, VT_I2, 0},
        {DISPID_StopBits, VT_I2, 1},
        {DISPID_Cd, VT_I4, 0},
        {DISPID_Cts, VT_I4, 0},
        {DISPID_Dsr, VT_I4, 0},
        {DISPID_Dtr, VT_I4, 0},
        {DISPID_DtrDsr, VT_I4, 0},
        {DISPID_RtsCts, VT_I4, 0},
        {DISPID_Rts, VT_I4, 0},
        {DISPID_XonXoff, VT_I4, 0},
        {DISPID_Break, VT_I4, 0},
        {DISPID_BytesUsedRQ, VT_I4, 0},
        {DISPID_BytesUsedTQ, VT_I4, 0},
        {DISPID_Ring, VT_I4, 0},
        {DISPID_FireOnEventChar, VT_I4, 1},
        {DISPID_EnableReadOnEventChar, VT_I4, 0},
        {DISPID_IsOpen, VT_I4, 0},
    };
    for (const Case& c : cases) {
        auto r = get(c.id);
        ASSERT_EQ(r.hr, S_OK) << c.id;
        EXPECT_EQ(r.value.vt, c.vt) << c.id;
        EXPECT_EQ(c.vt == VT_I2 ? r.value.i2 : r.value.i4, c.value) << c.id;
    }
    EXPECT_EQ(get(DISPID_EventChar).value.str, u"\n");
}

TEST_F(Dispatch, FailuresArriveWithTheComponentsCodeAndMessage) {
    struct Case {
        const char* what;
        InvokeResult r;
        std::uint32_t code;
    } cases[] = {
        {"PortName closed", get(DISPID_PortName), 0x80040200},
        {"PortHandle closed", get(DISPID_PortHandle), 0x80040200},
        {"Break put closed", put(DISPID_Break, 1), 0x80040200},
        {"Write closed", invoke(disp.get(), DISPID_Write, DISPATCH_METHOD, u"abc"), 0x80040200},
        {"Read closed", invoke(disp.get(), DISPID_Read, DISPATCH_METHOD), 0x80040200},
        {"ClearRQ closed", invoke(disp.get(), DISPID_ClearRQ, DISPATCH_METHOD), 0x80040200},
        {"ClearTQ closed", invoke(disp.get(), DISPID_ClearTQ, DISPATCH_METHOD), 0x80040200},
        {"SendXon closed", invoke(disp.get(), DISPID_SendXon, DISPATCH_METHOD), 0x80040200},
        {"SendXoff closed", invoke(disp.get(), DISPID_SendXoff, DISPATCH_METHOD), 0x80040200},
        {"ReadBinary closed", invoke(disp.get(), DISPID_ReadBinary, DISPATCH_METHOD), 0x80040200},
        {"WriteBinary closed", invoke(disp.get(), DISPID_WriteBinary, DISPATCH_METHOD, std::int64_t{0}),
         0x80040200},
        {"BaudRate out of list", put(DISPID_BaudRate, 115201), 0x80070057},
        {"StopBits 3", put(DISPID_StopBits, std::int16_t{3}), 0x80070057},
        {"Open missing port", invoke(disp.get(), DISPID_Open, DISPATCH_METHOD, u"/nonexistent/tty"),
         0x80040205},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.r.hr, DISP_E_EXCEPTION) << c.what;
        EXPECT_EQ(static_cast<std::uint32_t>(c.r.code()), c.code) << c.what;
        // The message of the code; a port that did not open adds why.
        const std::string description = narrow(c.r.excep.description);
        const std::string cause = c.code == 0x80040205 ? "  /nonexistent/tty: no such device." : "";
        EXPECT_EQ(description, resultMessage(c.r.code()) + cause) << c.what;
        EXPECT_EQ(c.r.excep.source, kProgIdVersioned) << c.what;
    }
    Variant p, f, o;
    auto r = invoke(disp.get(), DISPID_GetErrorStatus, DISPATCH_METHOD, Variant::byRef(p), Variant::byRef(f),
                    Variant::byRef(o));
    EXPECT_EQ(r.code(), VESKOR_E_PORTCLOSED);
    EXPECT_EQ(p.vt, VT_EMPTY) << "outputs are written only on success";
}

TEST_F(Dispatch, PutsStoreAndReadBack) {
    EXPECT_EQ(put(DISPID_BaudRate, 115200).hr, S_OK);
    EXPECT_EQ(get(DISPID_BaudRate).value.i4, 115200);
    EXPECT_EQ(put(DISPID_StopBits, std::int16_t{15}).hr, S_OK);
    EXPECT_EQ(get(DISPID_StopBits).value.i2, 15);
    EXPECT_EQ(put(DISPID_DataBits, u"7").hr, S_OK) << "a text that reads as a number converts";
    EXPECT_EQ(get(DISPID_DataBits).value.i2, 7);
    EXPECT_EQ(put(DISPID_DataBits, u"seven").hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(put(DISPID_EventChar, u"\r").hr, S_OK);
    EXPECT_EQ(get(DISPID_EventChar).value.str, u"\r");
    EXPECT_EQ(put(DISPID_FireOnEventChar, 0).hr, S_OK);
    EXPECT_EQ(get(DISPID_FireOnEventChar).value.i4, 0);
    EXPECT_EQ(put(DISPID_EnableReadOnEventChar, 5).hr, S_OK);
    EXPECT_EQ(get(DISPID_EnableReadOnEventChar).value.i4, 5);
    EXPECT_EQ(put(DISPID_DtrDsr, 1).hr, S_OK);
    EXPECT_EQ(put(DISPID_Dtr, 1).code(), VESKOR_E_DTRHANDSHAKE);
    EXPECT_EQ(put(DISPID_RtsCts, 1).hr, S_OK);
    EXPECT_EQ(put(DISPID_Rts, 1).code(), VESKOR_E_RTSHANDSHAKE);
    EXPECT_EQ(put(DISPID_XonXoff, 1).hr, S_OK);
    EXPECT_EQ(get(DISPID_XonXoff).value.i4, 1);
    // Read-only properties have no put.
    EXPECT_EQ(put(DISPID_IsOpen, 1).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(put(DISPID_PortName, u"x").hr, DISP_E_MEMBERNOTFOUND);
}

TEST_F(Dispatch, BindingRefusesCallsThatDoNotFit) {
    EXPECT_EQ(invoke(disp.get(), 34, DISPATCH_METHOD).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(invoke(disp.get(), DISPID_Open, DISPATCH_METHOD).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(invoke(disp.get(), DISPID_Write, DISPATCH_METHOD, u"a", 1, 2, 3).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(invoke(disp.get(), DISPID_Write, DISPATCH_METHOD, u"a", u"many").hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(invoke(disp.get(), DISPID_GetErrorStatus, DISPATCH_METHOD, 1, 2, 3).hr, DISP_E_TYPEMISMATCH);
    DispParams none;
    EXPECT_EQ(
        disp->Invoke(DISPID_BaudRate, IID_IVeskor, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr),
        DISP_E_UNKNOWNINTERFACE);
    // A property get made as a method call, as automation hosts do.
    EXPECT_EQ(invoke(disp.get(), DISPID_BaudRate, DISPATCH_METHOD).value.i4, 9600);
}

TEST_F(Dispatch, NamesOfEveryMemberAndArgument) {
    const std::pair<const char16_t*, DISPID> names[] = {
        {u"BaudRate", 1},
        {u"DataBits", 2},
        {u"Parity", 3},
        {u"StopBits", 4},
        {u"PortName", 5},
        {u"Cd", 6},
        {u"Cts", 7},
        {u"Dsr", 8},
        {u"Dtr", 9},
        {u"DtrDsr", 10},
        {u"RtsCts", 11},
        {u"Rts", 12},
        {u"XonXoff", 13},
        {u"PortHandle", 14},
        {u"Break", 15},
        {u"BytesUsedRQ", 16},
        {u"BytesUsedTQ", 17},
        {u"Ring", 18},
        {u"EventChar", 19},
        {u"FireOnEventChar", 20},
        {u"EnableReadOnEventChar", 21},
        {u"Open", 22},
        {u"Close", 23},
        {u"Write", 24},
        {u"Read", 25},
        {u"ClearRQ", 26},
        {u"ClearTQ", 27},
        {u"GetErrorStatus", 28},
        {u"SendXon", 29},
        {u"SendXoff", 30},
        {u"WriteBinary", 31},
        {u"ReadBinary", 32},
        {u"IsOpen", 33},
    };
    for (const auto& [name, id] : names) {
        DISPID got = 0;
        EXPECT_EQ(dispidOf(disp.get(), name, &got), S_OK) << narrow(name);
        EXPECT_EQ(got, id) << narrow(name);
    }
    DISPID got = 0;
    EXPECT_EQ(dispidOf(disp.get(), u"readbuffer", &got), DISP_E_UNKNOWNNAME);
    const std::u16string call[] = {u"Read", u"pNumBytesRead", u"NumBytesToRead"};
    DISPID ids[3];
    ASSERT_EQ(disp->GetIDsOfNames(IID_NULL, call, 3, 0, ids), S_OK);
    EXPECT_EQ(ids[0], DISPID_Read);
    EXPECT_EQ(ids[1], 2);
    EXPECT_EQ(ids[2], 0);
}

TEST_F(Dispatch, OpenPortMembersByDispid) {
    moduletest::Pty pty;
    open(pty.slave());
    EXPECT_EQ(get(DISPID_IsOpen).value.i4, 1);
    EXPECT_EQ(get(DISPID_PortName).value.str, u"\\\\.\\" + widen(pty.slave()));
    EXPECT_GT(get(DISPID_PortHandle).value.i4, 0);
    EXPECT_EQ(invoke(disp.get(), DISPID_Open, DISPATCH_METHOD, widen(pty.slave())).code(),
              VESKOR_E_ALREADYOPEN);

    // Write with everything optional left out goes out in the background.
    auto w = invoke(disp.get(), DISPID_Write, DISPATCH_METHOD, u"abc");
    ASSERT_EQ(w.hr, S_OK);
    EXPECT_TRUE(w.value.i4 == 3 || w.value.i4 == 0) << w.value.i4;
    EXPECT_EQ(pty.receive(3), "abc");
    w = invoke(disp.get(), DISPID_Write, DISPATCH_METHOD, u"xyz", 2, -1);
    EXPECT_EQ(w.value.i4, 2);
    EXPECT_EQ(pty.receive(2), "xy");
    const char bytes[] = "\x01\x02\xff";
    w = invoke(disp.get(), DISPID_WriteBinary, DISPATCH_METHOD, reinterpret_cast<std::int64_t>(bytes), 3, -1);
    EXPECT_EQ(w.value.i4, 3);
    EXPECT_EQ(pty.receive(3), std::string("\x01\x02\xff", 3));

    pty.send("hello");
    ASSERT_TRUE(moduletest::serveUntil([&] { return get(DISPID_BytesUsedRQ).value.i4 == 5; }));
    Variant count;
    auto r = invoke(disp.get(), DISPID_Read, DISPATCH_METHOD, Variant::missing(), Variant::missing(),
                    Variant::byRef(count));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.value.str, u"hello");
    EXPECT_EQ(count.vt, VT_I4);
    EXPECT_EQ(count.i4, 5);
    EXPECT_EQ(invoke(disp.get(), DISPID_Read, DISPATCH_METHOD).value.str, u"") << "empty queue, at once";

    pty.send("\x10\x20");
    ASSERT_TRUE(moduletest::serveUntil([&] { return get(DISPID_BytesUsedRQ).value.i4 == 2; }));
    r = invoke(disp.get(), DISPID_ReadBinary, DISPATCH_METHOD, 2, 500, Variant::byRef(count));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(count.i4, 2);
    ASSERT_NE(r.value.i8, 0);
    auto* block = reinterpret_cast<unsigned char*>(r.value.i8);
    EXPECT_EQ(block[0], 0x10);
    EXPECT_EQ(block[1], 0x20);
    taskMemFree(block);

    Variant p, f, o;
    ASSERT_EQ(invoke(disp.get(), DISPID_GetErrorStatus, DISPATCH_METHOD, Variant::byRef(p), Variant::byRef(f),
                     Variant::byRef(o))
                  .hr,
              S_OK);
    EXPECT_EQ(p.vt, VT_I4);
    EXPECT_EQ(p.i4 + f.i4 + o.i4, 0);
    for (DISPID id : {DISPID_ClearRQ, DISPID_ClearTQ})
        EXPECT_EQ(invoke(disp.get(), id, DISPATCH_METHOD).hr, S_OK) << id;
    EXPECT_EQ(get(DISPID_Break).hr, S_OK);
    EXPECT_EQ(put(DISPID_BaudRate, 19200).hr, S_OK);
    EXPECT_EQ(get(DISPID_BaudRate).value.i4, 19200);

    EXPECT_EQ(invoke(disp.get(), DISPID_Close, DISPATCH_METHOD).hr, S_OK);
    EXPECT_EQ(get(DISPID_IsOpen).value.i4, 0);
}

TEST_F(Dispatch, EvtCharReceivedReachesAnAdvisedSinkOnTheHostsThread) {
    auto cpc = disp.as<IConnectionPointContainer>(IID_IConnectionPointContainer);
    ASSERT_TRUE(cpc);
    ComPtr<IConnectionPoint> cp;
    ASSERT_EQ(cpc->FindConnectionPoint(IID__IVeskorEvents, cp.put()), S_OK);
    auto sink = ComPtr<moduletest::Sink>::attach(new moduletest::Sink);
    std::uint32_t cookie = 0;
    ASSERT_EQ(cp->Advise(sink.get(), &cookie), S_OK);

    moduletest::Pty pty;
    open(pty.slave());
    pty.send("!00\r\n");
    auto evtChar = [&] {
        for (const auto& c : sink->calls)
            if (c.dispid == DISPID_EvtCharReceived) return true;
        return false;
    };
    ASSERT_TRUE(moduletest::serveUntil(evtChar));
    bool sawData = false;
    for (const auto& c : sink->calls) {
        EXPECT_EQ(c.thread, std::this_thread::get_id());
        if (c.dispid == DISPID_DataReceived) sawData = true;
        if (c.dispid == DISPID_EvtCharReceived) {
            EXPECT_TRUE(sawData) << "DataReceived comes first";
            ASSERT_EQ(c.args.size(), 2u);
            EXPECT_EQ(c.args[0].str, u"");
            EXPECT_EQ(c.args[1].i4, 0);
        }
    }
    EXPECT_EQ(invoke(disp.get(), DISPID_Read, DISPATCH_METHOD).value.str, u"!00\r\n");
    invoke(disp.get(), DISPID_Close, DISPATCH_METHOD);
    EXPECT_EQ(cp->Unadvise(cookie), S_OK);
}

}  // namespace
