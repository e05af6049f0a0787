// Write, Read, the queues and line errors: on the null-modem pair, and on pseudo-terminals.
#include <com/errorinfo.h>
#include <com/taskmem.h>
#include <gtest/gtest.h>
#include <serial/nullmodem.h>
#include <termios.h>

#include <chrono>

#include "veskor_support.h"

using namespace veskortest;
using namespace veskor;
using Clock = std::chrono::steady_clock;

namespace {

int msSince(Clock::time_point t) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

class PairTransfer : public ::testing::Test {
protected:
    ApartmentScope apartment;
    std::shared_ptr<serial::NullModem> cable = serial::NullModem::create("NM-XFER-A", "NM-XFER-B");
    com::ComPtr<IVeskor> v = makeVeskor();
    std::unique_ptr<serial::Device> far;

    void SetUp() override {
        ASSERT_EQ(v->Open(u"NM-XFER-A", com::Variant(u"115200,n,8,1")), com::S_OK);
        far = serial::openDevice("NM-XFER-B");
        ASSERT_TRUE(far);
        serial::Timeouts immediate;
        immediate.readInterval = serial::Timeouts::kNoWait;
        far->setTimeouts(immediate);
    }
    void TearDown() override { v->Close(); }

    std::string farRead() {
        char buf[16384];
        serial::Request r;
        std::uint32_t n = 0;
        far->read(r, buf, sizeof buf);
        r.result(&n, true);
        return std::string(buf, n);
    }
    void farWrite(const std::string& s) {
        serial::Request r;
        far->write(r, s.data(), static_cast<std::uint32_t>(s.size()));
        r.result(nullptr, true);
    }
};

TEST_F(PairTransfer, ClosedPortRefusesEverything) {
    v->Close();
    std::int32_t n = 9;
    std::u16string t;
    std::int64_t block = 0;
    EXPECT_EQ(v->Write(u"abc", none(), none(), &n), VESKOR_E_PORTCLOSED);
    EXPECT_EQ(v->Read(none(), none(), none(), &t), VESKOR_E_PORTCLOSED);
    EXPECT_EQ(v->ReadBinary(none(), none(), none(), &block), VESKOR_E_PORTCLOSED);
    EXPECT_EQ(v->ClearRQ(), VESKOR_E_PORTCLOSED);
    EXPECT_EQ(v->ClearTQ(), VESKOR_E_PORTCLOSED);
    EXPECT_EQ(v->SendXon(), VESKOR_E_PORTCLOSED);
    EXPECT_EQ(v->SendXoff(), VESKOR_E_PORTCLOSED);
    std::int32_t p, f, o;
    EXPECT_EQ(v->GetErrorStatus(&p, &f, &o), VESKOR_E_PORTCLOSED);
    EXPECT_EQ(n, 9);
}

TEST_F(PairTransfer, WriteCountsAndModes) {
    std::int32_t n = -1;
    ASSERT_EQ(v->Write(u"abc", none(), none(), &n), com::S_OK);
    EXPECT_EQ(n, 3);  // the pair takes it at once
    ASSERT_EQ(v->Write(u"xyz", i4(2), i4(-1), &n), com::S_OK);
    EXPECT_EQ(n, 2);
    ASSERT_EQ(v->Write(u"12", i4(50), i4(100), &n), com::S_OK);  // cut to the text
    EXPECT_EQ(n, 2);
    EXPECT_EQ(farRead(), "abcxy12");
    ASSERT_EQ(v->Write(u"", none(), none(), &n), com::S_OK);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(v->Write(u"abc", i4(-1), none(), &n), com::E_INVALIDARG);
    EXPECT_EQ(v->Write(u"abc", com::Variant(u"many"), none(), &n), com::E_INVALIDARG);
    // Every byte value survives, NUL included.
    std::u16string all;
    for (int c = 0; c < 256; ++c) all.push_back(static_cast<char16_t>(c));
    ASSERT_EQ(v->Write(all, none(), i4(-1), &n), com::S_OK);
    std::string got = farRead();
    ASSERT_EQ(got.size(), 256u);
    for (int c = 0; c < 256; ++c) EXPECT_EQ(static_cast<unsigned char>(got[c]), c);
}

TEST_F(PairTransfer, HeldWritesTimeOutAndQueueInTheBackground) {
    ASSERT_EQ(v->SendXoff(), com::S_OK);
    std::int32_t n = -1;
    auto t0 = Clock::now();
    ASSERT_EQ(v->Write(u"held", none(), i4(100), &n), com::S_OK);
    EXPECT_GE(msSince(t0), 90);
    EXPECT_EQ(n, 0);  // cancelled unsent
    ASSERT_EQ(v->Write(u"later", none(), none(), &n), com::S_OK);
    EXPECT_EQ(n, 0);  // in the background
    std::int32_t tq;
    v->get_BytesUsedTQ(&tq);
    EXPECT_EQ(tq, 5);
    EXPECT_EQ(farRead(), "");
    ASSERT_EQ(v->SendXon(), com::S_OK);
    EXPECT_EQ(farRead(), "later");
    v->get_BytesUsedTQ(&tq);
    EXPECT_EQ(tq, 0);
}

TEST_F(PairTransfer, ATimedOutWriteDoesNotTakeEarlierBackgroundWritesWithIt) {
    ASSERT_EQ(v->SendXoff(), com::S_OK);
    std::int32_t n;
    ASSERT_EQ(v->Write(u"queued", none(), none(), &n), com::S_OK);
    ASSERT_EQ(v->Write(u"timed", none(), i4(50), &n), com::S_OK);
    EXPECT_EQ(n, 0);
    ASSERT_EQ(v->SendXon(), com::S_OK);
    EXPECT_EQ(farRead(), "queued");
}

TEST_F(PairTransfer, PendingWriteLimit) {
    ASSERT_EQ(v->SendXoff(), com::S_OK);
    std::int32_t n;
    for (int i = 0; i < 1001; ++i) ASSERT_EQ(v->Write(u"x", none(), none(), &n), com::S_OK) << i;
    EXPECT_EQ(v->Write(u"y", none(), none(), &n), VESKOR_E_WRITELIMIT);
    ASSERT_EQ(v->SendXon(), com::S_OK);
    std::string got = farRead();
    EXPECT_EQ(got, std::string(1001, 'x'));  // the refused write sent nothing
    // Finished writes are released (by the monitor before its next wait, or by ClearTQ).
    ASSERT_EQ(v->ClearTQ(), com::S_OK);
    EXPECT_EQ(v->Write(u"z", none(), none(), &n), com::S_OK);
}

TEST_F(PairTransfer, ClearTQAbortsHeldWrites) {
    ASSERT_EQ(v->SendXoff(), com::S_OK);
    std::int32_t n;
    for (int i = 0; i < 1001; ++i) v->Write(u"x", none(), none(), &n);
    ASSERT_EQ(v->ClearTQ(), com::S_OK);
    EXPECT_EQ(v->Write(u"y", none(), none(), &n), com::S_OK);
    v->SendXon();
    EXPECT_EQ(farRead(), "y");
}

TEST_F(PairTransfer, ReadModes) {
    std::u16string t = u"x";
    com::Variant count;
    ASSERT_EQ(v->Read(none(), none(), com::Variant::byRef(count), &t), com::S_OK);
    EXPECT_EQ(t, u"");
    EXPECT_EQ(count.i4, 0);

    farWrite("hello");
    std::int32_t rq;
    v->get_BytesUsedRQ(&rq);
    EXPECT_EQ(rq, 5);
    ASSERT_EQ(v->Read(i4(2), none(), com::Variant::byRef(count), &t), com::S_OK);
    EXPECT_EQ(t, u"he");
    EXPECT_EQ(count.i4, 2);
    ASSERT_EQ(v->Read(none(), none(), none(), &t), com::S_OK);
    EXPECT_EQ(t, u"llo");

    // 5 asked, 3 come: after the time-out the 3 are returned.
    farWrite("abc");
    auto t0 = Clock::now();
    ASSERT_EQ(v->Read(i4(5), i4(100), com::Variant::byRef(count), &t), com::S_OK);
    EXPECT_GE(msSince(t0), 90);
    EXPECT_EQ(t, u"abc");
    EXPECT_EQ(count.i4, 3);

    EXPECT_EQ(v->Read(i4(-1), none(), none(), &t), com::E_INVALIDARG);
    EXPECT_EQ(v->Read(none(), i4(-1), none(), &t), com::E_INVALIDARG);
}

TEST_F(PairTransfer, BlockingReadWaitsForTheFullCount) {
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        farWrite("12");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        farWrite("345");
    });
    std::u16string t;
    ASSERT_EQ(v->Read(i4(5), i4(0), none(), &t), com::S_OK);
    writer.join();
    EXPECT_EQ(t, u"12345");
}

TEST_F(PairTransfer, BinaryForms) {
    const unsigned char data[] = {0x00, 0xFF, 0x10, 0x0A};
    std::int32_t n;
    ASSERT_EQ(v->WriteBinary(reinterpret_cast<std::intptr_t>(data), i4(4), i4(-1), &n), com::S_OK);
    EXPECT_EQ(n, 4);
    ASSERT_EQ(v->WriteBinary(reinterpret_cast<std::intptr_t>(data), i4(0), none(), &n), com::S_OK);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(farRead(), std::string("\x00\xFF\x10\x0A", 4));

    farWrite(std::string("\x00\x80z", 3));
    std::int64_t block = 0;
    com::Variant count;
    ASSERT_EQ(v->ReadBinary(none(), none(), com::Variant::byRef(count), &block), com::S_OK);
    ASSERT_EQ(count.i4, 3);
    ASSERT_NE(block, 0);
    auto* p = reinterpret_cast<unsigned char*>(static_cast<std::intptr_t>(block));
    EXPECT_EQ(p[0], 0x00);
    EXPECT_EQ(p[1], 0x80);
    EXPECT_EQ(p[2], 'z');
    com::taskMemFree(p);
}

TEST_F(PairTransfer, LineErrorsAreReportedOnce) {
    cable->injectErrors(0, serial::kParityError | serial::kOverrun);
    std::int32_t p = -1, f = -1, o = -1;
    ASSERT_EQ(v->GetErrorStatus(&p, &f, &o), com::S_OK);
    EXPECT_EQ(p, 1);
    EXPECT_EQ(f, 0);
    EXPECT_EQ(o, 1);
    ASSERT_EQ(v->GetErrorStatus(&p, &f, &o), com::S_OK);
    EXPECT_EQ(p + f + o, 0);

    // Any status query clears them.
    cable->injectErrors(0, serial::kFramingError);
    std::int32_t rq;
    v->get_BytesUsedRQ(&rq);
    v->GetErrorStatus(&p, &f, &o);
    EXPECT_EQ(f, 0);
}

TEST_F(PairTransfer, ReceiveQueueOverflowDropsAndIsNotAParityError) {
    farWrite(std::string(9000, 'q'));
    std::int32_t rq;
    v->get_BytesUsedRQ(&rq);
    EXPECT_EQ(rq, 8192);
    std::u16string t;
    v->Read(none(), none(), none(), &t);
    EXPECT_EQ(t.size(), 8192u);
}

TEST_F(PairTransfer, ClearRQDiscards) {
    farWrite("junk");
    ASSERT_EQ(v->ClearRQ(), com::S_OK);
    std::int32_t rq;
    v->get_BytesUsedRQ(&rq);
    EXPECT_EQ(rq, 0);
}

// --- Pseudo-terminals ---------------------------------------------------------------------------

class PtyTransfer : public ::testing::Test {
protected:
    ApartmentScope apartment;
    Pty pty;
    com::ComPtr<IVeskor> v = makeVeskor();

    void SetUp() override { ASSERT_EQ(v->Open(u(pty.slavePath), com::Variant(u"115200,n,8,1")), com::S_OK); }
    void TearDown() override { v->Close(); }
};

TEST_F(PtyTransfer, SecondOpenIsRefused) {
    auto other = makeVeskor();
    EXPECT_EQ(other->Open(u(pty.slavePath), none()), VESKOR_E_OPEN);
    v->Close();
    EXPECT_EQ(other->Open(u(pty.slavePath), none()), com::S_OK);
    other->Close();
}

TEST_F(PtyTransfer, SettingsReachTheDevice) {
    termios t;
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B115200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));
    EXPECT_FALSE(t.c_iflag & (ICRNL | IXON));

    ASSERT_EQ(v->put_StopBits(2), com::S_OK);
    ASSERT_EQ(v->put_XonXoff(1), com::S_OK);
    ASSERT_EQ(v->put_RtsCts(1), com::S_OK);
    ::tcgetattr(pty.master(), &t);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_TRUE(t.c_iflag & IXOFF);

    // A pseudo-terminal carries 8 data bits without parity only: the device refuses, and the
    // property keeps its value.
    EXPECT_EQ(v->put_Parity(2), VESKOR_E_SETSTATE);
    EXPECT_EQ(v->put_DataBits(7), VESKOR_E_SETSTATE);
    std::int16_t parity = -1;
    v->get_Parity(&parity);
    EXPECT_EQ(parity, 0);

    // Rates without a termios constant go through the kernel's own rate field.
    for (std::int32_t rate : {14400, 28800, 56000, 128000, 256000, 110}) {
        ASSERT_EQ(v->put_BaudRate(rate), com::S_OK) << rate;
        std::int32_t back = 0;
        v->get_BaudRate(&back);
        EXPECT_EQ(back, rate);
    }
}

TEST_F(PtyTransfer, AParityThePortCannotCarryIsRefusedOnAFreshPort) {
    for (std::int16_t parity = 1; parity <= 4; ++parity) {
        EXPECT_EQ(v->put_Parity(parity), VESKOR_E_SETSTATE) << parity;
        auto info = com::getErrorInfo();
        ASSERT_TRUE(info);
        EXPECT_EQ(info->description, u"SetCommState() call failed.");
        std::int16_t back = -1;
        v->get_Parity(&back);
        EXPECT_EQ(back, 0) << parity;
    }
    // Nor does an opening that asks for one leave a port open with another.
    v->Close();
    EXPECT_EQ(v->Open(u(pty.slavePath), com::Variant(u"115200,e,8,1")), VESKOR_E_SETSTATE);
    std::int32_t open = -1;
    v->get_IsOpen(&open);
    EXPECT_EQ(open, 0);
}

TEST_F(PtyTransfer, WriteEveryModeAndRead) {
    std::int32_t n = -1;
    ASSERT_EQ(v->Write(u"ab\n", none(), none(), &n), com::S_OK);
    EXPECT_EQ(n, 3);
    ASSERT_EQ(v->Write(u"cde", i4(2), i4(-1), &n), com::S_OK);
    EXPECT_EQ(n, 2);
    ASSERT_EQ(v->Write(u"$0010\r", i4(0), i4(100), &n), com::S_OK);
    EXPECT_EQ(n, 6);
    EXPECT_EQ(pty.read(11), "ab\ncd$0010\r");  // nothing translated (no CR/LF mapping)

    pty.write(std::string("x\r\n\xff\x00y", 6));
    std::u16string t;
    ASSERT_TRUE(serveUntil([&] {
        std::int32_t rq = 0;
        v->get_BytesUsedRQ(&rq);
        return rq == 6;
    }));
    ASSERT_EQ(v->Read(none(), none(), none(), &t), com::S_OK);
    EXPECT_EQ(bytes(t), std::string("x\r\n\xff\x00y", 6));

    auto t0 = Clock::now();
    ASSERT_EQ(v->Read(i4(4), i4(100), none(), &t), com::S_OK);
    EXPECT_GE(msSince(t0), 90);
    EXPECT_EQ(t, u"");
}

TEST_F(PtyTransfer, WriteTimesOutWhenTheLineStalls) {
    // XON/XOFF on, and the far end says XOFF: our output stops in the kernel.
    ASSERT_EQ(v->put_XonXoff(1), com::S_OK);
    pty.write("\x13");
    serveFor(50);
    std::string big(200000, 'w');
    std::int32_t n = -1;
    auto t0 = Clock::now();
    ASSERT_EQ(v->Write(u(big), none(), i4(100), &n), com::S_OK);
    EXPECT_GE(msSince(t0), 90);
    EXPECT_LT(n, static_cast<std::int32_t>(big.size()));
}

TEST_F(PtyTransfer, SendXoffHoldsOurOutputUntilSendXon) {
    ASSERT_EQ(v->SendXoff(), com::S_OK);
    std::int32_t n = -1;
    ASSERT_EQ(v->Write(u"held", none(), none(), &n), com::S_OK);
    EXPECT_EQ(pty.read(4, 100), "");
    ASSERT_EQ(v->SendXon(), com::S_OK);
    EXPECT_EQ(pty.read(4), "held");
}

TEST_F(PtyTransfer, HangUpMakesReadFail) {
    pty.closeMaster();
    std::u16string t;
    ASSERT_TRUE(serveUntil([&] { return v->Read(none(), none(), none(), &t) == com::E_UNEXPECTED; }));
    std::int32_t rq;
    EXPECT_EQ(v->get_BytesUsedRQ(&rq), VESKOR_E_STATUS);
    EXPECT_EQ(v->Close(), com::S_OK);
    std::int32_t open = 1;
    v->get_IsOpen(&open);
    EXPECT_EQ(open, 0);
}

TEST_F(PtyTransfer, AfterAHangUpBreakAnswersFromItsFieldAndWriteReportsTheLostDevice) {
    pty.closeMaster();  // the adapter was unplugged
    std::int32_t rq;
    ASSERT_TRUE(serveUntil([&] { return v->get_BytesUsedRQ(&rq) == VESKOR_E_STATUS; }));
    // The write path asks for Break before every frame: it must not be what fails.
    std::int32_t brk = -1;
    EXPECT_EQ(v->get_Break(&brk), com::S_OK);
    EXPECT_EQ(brk, 0);
    std::int32_t n = -1;
    EXPECT_EQ(v->Write(u"$0000\r", i4(0), i4(100), &n), VESKOR_E_WRITE);
}

TEST_F(PtyTransfer, ModemLinesOfAPseudoTerminalFail) {
    std::int32_t cts = 5;
    EXPECT_EQ(v->get_Cts(&cts), VESKOR_E_MODEM);
    EXPECT_EQ(cts, 5);
}

}  // namespace
