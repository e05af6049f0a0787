// The object's fields, properties and Open/Close, on the in-memory null-modem pair.
#include <com/errorinfo.h>
#include <com/text.h>
#include <gtest/gtest.h>
#include <serial/nullmodem.h>

#include "veskor_support.h"

using namespace veskortest;
using namespace veskor;

namespace {

class Properties : public ::testing::Test {
protected:
    ApartmentScope apartment;
    std::shared_ptr<serial::NullModem> cable = serial::NullModem::create("NM-PROP-A", "NM-PROP-B");
    com::ComPtr<IVeskor> v = makeVeskor();

    HRESULT open(const char* settings = nullptr) {
        return v->Open(u"NM-PROP-A", settings ? com::Variant(u(settings)) : none());
    }
    std::unique_ptr<serial::Device> farEnd() { return serial::openDevice("NM-PROP-B"); }
    void TearDown() override { v->Close(); }
};

TEST_F(Properties, NewObjectDefaults) {
    std::int32_t i;
    std::int16_t s;
    std::u16string t;
    ASSERT_EQ(v->get_BaudRate(&i), com::S_OK);
    EXPECT_EQ(i, 9600);
    v->get_DataBits(&s);
    EXPECT_EQ(s, 8);
    v->get_Parity(&s);
    EXPECT_EQ(s, 0);
    v->get_StopBits(&s);
    EXPECT_EQ(s, 1);
    v->get_FireOnEventChar(&i);
    EXPECT_EQ(i, 1);
    v->get_EnableReadOnEventChar(&i);
    EXPECT_EQ(i, 0);
    v->get_EventChar(&t);
    EXPECT_EQ(t, u"\n");
    v->get_IsOpen(&i);
    EXPECT_EQ(i, 0);
    for (auto get : {&IVeskor::get_Dtr, &IVeskor::get_Rts, &IVeskor::get_DtrDsr, &IVeskor::get_RtsCts,
                     &IVeskor::get_XonXoff, &IVeskor::get_Break}) {
        i = -5;
        EXPECT_EQ(((*v).*get)(&i), com::S_OK);
        EXPECT_EQ(i, 0);
    }
}

TEST_F(Properties, ClosedObjectRefusesPortQueriesAndReportsLinesOff) {
    std::u16string t = u"untouched";
    std::int32_t i = 77;
    EXPECT_EQ(v->get_PortName(&t), VESKOR_E_PORTCLOSED);
    EXPECT_EQ(t, u"untouched");
    auto info = com::getErrorInfo();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->description, u"Port is closed.");
    EXPECT_EQ(info->source, u"VeskorMod.Veskor.1");
    EXPECT_EQ(info->iid, IID_IVeskor);
    EXPECT_EQ(v->get_PortHandle(&i), VESKOR_E_PORTCLOSED);
    EXPECT_EQ(i, 77);
    EXPECT_EQ(v->put_Break(1), VESKOR_E_PORTCLOSED);
    for (auto get : {&IVeskor::get_Cts, &IVeskor::get_Dsr, &IVeskor::get_Cd, &IVeskor::get_Ring,
                     &IVeskor::get_BytesUsedRQ, &IVeskor::get_BytesUsedTQ}) {
        i = 77;
        EXPECT_EQ(((*v).*get)(&i), com::S_OK);
        EXPECT_EQ(i, 0);
    }
}

TEST_F(Properties, PutsValidateAndStore) {
    struct Case {
        std::int32_t value;
        HRESULT want;
    };
    for (Case c : {Case{110, com::S_OK},
                   {256000, com::S_OK},
                   {115201, com::E_INVALIDARG},
                   {0, com::E_INVALIDARG},
                   {-9600, com::E_INVALIDARG}})
        EXPECT_EQ(v->put_BaudRate(c.value), c.want) << c.value;
    std::int32_t rate;
    v->get_BaudRate(&rate);
    EXPECT_EQ(rate, 256000);

    EXPECT_EQ(v->put_DataBits(4), com::E_INVALIDARG);
    EXPECT_EQ(v->put_DataBits(9), com::E_INVALIDARG);
    EXPECT_EQ(v->put_Parity(5), com::E_INVALIDARG);
    EXPECT_EQ(v->put_Parity(-1), com::E_INVALIDARG);
    EXPECT_EQ(v->put_StopBits(3), com::E_INVALIDARG);
    EXPECT_EQ(v->put_StopBits(0), com::E_INVALIDARG);
    EXPECT_EQ(v->put_StopBits(15), com::S_OK);
    std::int16_t s;
    v->get_StopBits(&s);
    EXPECT_EQ(s, 15);
    EXPECT_EQ(v->put_StopBits(2), com::S_OK);
    v->get_StopBits(&s);
    EXPECT_EQ(s, 2);
    auto info = com::getErrorInfo();  // the last failure's
    ASSERT_TRUE(info);
    EXPECT_EQ(info->description, u"An invalid argument was supplied.");

    // Stored unchanged, no check.
    v->put_FireOnEventChar(-3);
    std::int32_t i;
    v->get_FireOnEventChar(&i);
    EXPECT_EQ(i, -3);
    v->put_Dtr(7);
    v->get_Dtr(&i);
    EXPECT_EQ(i, 7);
}

TEST_F(Properties, EventCharIsOneByte) {
    std::u16string t;
    v->put_EventChar(u"\r\n");
    v->get_EventChar(&t);
    EXPECT_EQ(t, u"\r");
    v->put_EventChar(u"");
    v->get_EventChar(&t);
    EXPECT_EQ(t, u"");
    v->put_EventChar(std::u16string(1, char16_t(0xE9)));
    ASSERT_EQ(open(), com::S_OK);
    v->get_EventChar(&t);  // refreshed from the device
    EXPECT_EQ(t, std::u16string(1, char16_t(0xE9)));
}

TEST_F(Properties, HandshakeRefusals) {
    v->put_DtrDsr(1);
    EXPECT_EQ(v->put_Dtr(1), VESKOR_E_DTRHANDSHAKE);
    v->put_RtsCts(2);
    EXPECT_EQ(v->put_Rts(1), com::S_OK);  // refused only while RtsCts is exactly 1
    v->put_RtsCts(1);
    EXPECT_EQ(v->put_Rts(1), VESKOR_E_RTSHANDSHAKE);
    auto info = com::getErrorInfo();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->description, u"Unable to set Rts value while Rts/Cts handshaking is enabled.");
}

TEST_F(Properties, OpenStoresTheResolvedSettingsAndThePortPath) {
    ASSERT_EQ(open("115200,n,8,1"), com::S_OK);
    std::int32_t i;
    std::int16_t s;
    std::u16string name;
    v->get_BaudRate(&i);
    EXPECT_EQ(i, 115200);
    v->get_StopBits(&s);
    EXPECT_EQ(s, 1);
    ASSERT_EQ(v->get_PortName(&name), com::S_OK);
    EXPECT_EQ(name, u"\\\\.\\NM-PROP-A");
    v->get_IsOpen(&i);
    EXPECT_EQ(i, 1);
    ASSERT_EQ(v->get_PortHandle(&i), com::S_OK);
    EXPECT_NE(i, 0);

    EXPECT_EQ(open("300,n,8,1"), VESKOR_E_ALREADYOPEN);
    v->get_BaudRate(&i);
    EXPECT_EQ(i, 115200);  // the first opening is untouched

    // The values survive Close and a later Open without settings reuses them.
    v->Close();
    v->get_IsOpen(&i);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(v->get_PortName(&name), VESKOR_E_PORTCLOSED);
    ASSERT_EQ(open(), com::S_OK);
    v->get_BaudRate(&i);
    EXPECT_EQ(i, 115200);
}

TEST_F(Properties, SettingsStringCases) {
    struct Case {
        const char* settings;
        std::int32_t baud;
        std::int16_t data, parity, stop;
    };
    const Case cases[] = {
        {"115200,n,8", 9600, 8, 0, 1},     // three fields: ignored whole
        {"115200,n,8,1,", 9600, 8, 0, 1},  // five (a trailing comma)
        {" 19200 , E , 7 , 2 ", 19200, 7, 2, 2},
        {"12345,x,9,3", 9600, 8, 0, 1},  // every field bad: all stored values
    };
    for (const Case& c : cases) {
        auto fresh = makeVeskor();
        ASSERT_EQ(fresh->Open(u"NM-PROP-A", com::Variant(u(c.settings))), com::S_OK) << c.settings;
        std::int32_t baud;
        std::int16_t data, parity, stop;
        fresh->get_BaudRate(&baud);
        fresh->get_DataBits(&data);
        fresh->get_Parity(&parity);
        fresh->get_StopBits(&stop);
        EXPECT_EQ(baud, c.baud) << c.settings;
        EXPECT_EQ(data, c.data) << c.settings;
        EXPECT_EQ(parity, c.parity) << c.settings;
        EXPECT_EQ(stop, c.stop) << c.settings;
        fresh->Close();
    }
}

TEST_F(Properties, InvalidFormatOpensNothing) {
    for (const char* s : {"9600,n,5,2", "9600,n,8,1.5"}) {
        EXPECT_EQ(open(s), VESKOR_E_STOPBITS) << s;
        std::int32_t i;
        v->get_IsOpen(&i);
        EXPECT_EQ(i, 0);
        EXPECT_TRUE(serial::openDevice("NM-PROP-A"));  // our end was never taken
    }
    // Stored while closed without the check; the next Open then refuses.
    EXPECT_EQ(v->put_StopBits(15), com::S_OK);
    EXPECT_EQ(v->put_DataBits(8), com::S_OK);
    EXPECT_EQ(open(), VESKOR_E_STOPBITS);
}

TEST_F(Properties, OpenFailsForMissingOrHeldPortsAndSaysWhy) {
    std::int32_t i;
    const std::u16string message =
        u"Could not open port.  This may be because the port does not exist or is already in use.  ";
    auto description = [] {
        auto info = com::getErrorInfo();
        return info ? info->description : u"(none)";
    };
    EXPECT_EQ(v->Open(u"NM-NO-SUCH-PORT", none()), VESKOR_E_OPEN);
    EXPECT_EQ(description(), message + u"NM-NO-SUCH-PORT: no such device.");
    EXPECT_EQ(v->Open(u"COM96", none()), VESKOR_E_OPEN);
    EXPECT_EQ(description(), message + u"/dev/ttyACM31: no such device.");
    EXPECT_EQ(v->Open(u"COM200", none()), VESKOR_E_OPEN);
    EXPECT_EQ(description(), message + u"COM200: no such device.");
    auto holder = serial::openDevice("NM-PROP-A");
    ASSERT_TRUE(holder);
    EXPECT_EQ(open(), VESKOR_E_OPEN);
    EXPECT_EQ(description(), message + u"NM-PROP-A: busy (already in use).");
    v->get_IsOpen(&i);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(v->Open(std::u16string(1020, u'x'), none()), com::E_INVALIDARG);
}

TEST_F(Properties, CloseTwiceAndReopen) {
    EXPECT_EQ(v->Close(), com::S_OK);
    ASSERT_EQ(open(), com::S_OK);
    EXPECT_EQ(v->Close(), com::S_OK);
    EXPECT_EQ(v->Close(), com::S_OK);
    ASSERT_EQ(open(), com::S_OK);
    EXPECT_TRUE(!serial::openDevice("NM-PROP-A"));  // held again
}

TEST_F(Properties, OpenPutsAndGetsReachTheDevice) {
    ASSERT_EQ(open("57600,e,7,2"), com::S_OK);
    EXPECT_EQ(v->put_Parity(3), com::S_OK);
    EXPECT_EQ(v->put_BaudRate(14400), com::S_OK);
    EXPECT_EQ(v->put_XonXoff(1), com::S_OK);
    std::int32_t i;
    std::int16_t s;
    v->get_Parity(&s);
    EXPECT_EQ(s, 3);
    v->get_XonXoff(&i);
    EXPECT_EQ(i, 1);
    // While open the combination rule applies to puts too.
    EXPECT_EQ(v->put_StopBits(15), VESKOR_E_STOPBITS);
    EXPECT_EQ(v->put_DataBits(5), VESKOR_E_STOPBITS);
    v->get_DataBits(&s);
    EXPECT_EQ(s, 7);
    EXPECT_EQ(v->put_StopBits(1), com::S_OK);
    EXPECT_EQ(v->put_DataBits(5), com::S_OK);
    EXPECT_EQ(v->put_StopBits(15), com::S_OK);
    v->get_StopBits(&s);
    EXPECT_EQ(s, 15);
}

TEST_F(Properties, ModemLinesCrossOver) {
    ASSERT_EQ(open(), com::S_OK);
    auto far = farEnd();
    ASSERT_TRUE(far);
    std::int32_t cts, dsr, cd, ring;
    far->escape(serial::Escape::setRts);
    far->escape(serial::Escape::setDtr);
    v->get_Cts(&cts);
    v->get_Dsr(&dsr);
    v->get_Cd(&cd);
    EXPECT_EQ(cts, 16);
    EXPECT_EQ(dsr, 32);
    EXPECT_EQ(cd, 128);
    far->escape(serial::Escape::clrRts);
    far->escape(serial::Escape::clrDtr);
    v->get_Cts(&cts);
    v->get_Dsr(&dsr);
    v->get_Cd(&cd);
    EXPECT_EQ(cts + dsr + cd, 0);
    cable->setRing(0, true);
    v->get_Ring(&ring);
    EXPECT_EQ(ring, 1);

    // Our Dtr/Rts reach the far end's DSR/CTS.
    std::uint32_t bits = 0;
    EXPECT_EQ(v->put_Dtr(1), com::S_OK);
    EXPECT_EQ(v->put_Rts(0), com::S_OK);
    far->modemStatus(&bits);
    EXPECT_EQ(bits & (serial::kDsrOn | serial::kCtsOn), serial::kDsrOn);
    EXPECT_EQ(v->put_Dtr(2), com::S_OK);  // anything but 1 lowers it, and is stored as given
    far->modemStatus(&bits);
    EXPECT_EQ(bits & serial::kDsrOn, 0u);
    std::int32_t i;
    v->get_Dtr(&i);
    EXPECT_EQ(i, 2);

    // Handshake on and off: off puts the stored Dtr back on the line.
    v->put_Dtr(1);
    EXPECT_EQ(v->put_DtrDsr(1), com::S_OK);
    v->get_DtrDsr(&i);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(v->put_DtrDsr(0), com::S_OK);
    far->modemStatus(&bits);
    EXPECT_TRUE(bits & serial::kDsrOn);
    v->get_DtrDsr(&i);
    EXPECT_EQ(i, 0);
}

TEST_F(Properties, BreakStateAndDetection) {
    ASSERT_EQ(open(), com::S_OK);
    auto far = farEnd();
    std::int32_t br = 5;
    v->get_Break(&br);
    EXPECT_EQ(br, 0);
    far->escape(serial::Escape::setBreak);
    v->get_Break(&br);
    EXPECT_EQ(br, 1);
    v->get_Break(&br);  // flags are read and cleared
    EXPECT_EQ(br, 0);

    EXPECT_EQ(v->put_Break(1), com::S_OK);
    std::uint32_t errors = 0;
    far->clearError(&errors, nullptr);
    EXPECT_TRUE(errors & serial::kBreakDetected);
    EXPECT_EQ(v->put_Break(0), com::S_OK);
}

TEST_F(Properties, AReceivedBreakIsNotSentOnTheNextOpen) {
    ASSERT_EQ(open(), com::S_OK);
    auto far = farEnd();
    far->escape(serial::Escape::setBreak);
    std::int32_t br = 0;
    ASSERT_TRUE(serveUntil([&] { return v->get_Break(&br) == com::S_OK && br == 1; }));
    v->Close();
    std::uint32_t errors = 0;
    far->clearError(&errors, nullptr);
    ASSERT_EQ(open(), com::S_OK);
    far->clearError(&errors, nullptr);
    EXPECT_FALSE(errors & serial::kBreakDetected);

    // A break the host set is restored by the next Open.
    v->put_Break(1);
    v->Close();
    far->escape(serial::Escape::clrBreak);
    far->clearError(&errors, nullptr);
    ASSERT_EQ(open(), com::S_OK);
    far->clearError(&errors, nullptr);
    EXPECT_TRUE(errors & serial::kBreakDetected);
}

}  // namespace
