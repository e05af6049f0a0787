// The console's rs232 control over the real component, loaded from beside the test program
// through the component runtime, on a pseudo-terminal.
#include "console/base/rs232.h"

#include <com/activation.h>
#include <com/apartment.h>
#include <com/registry.h>
#include <com/taskmem.h>
#include <com/text.h>
#include <comtest/tempregistry.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <veskor/veskor.h>

#include <chrono>
#include <thread>

#include "console/base/alert.h"
#include "console/base/tests/alertrecorder.h"

namespace {

using com::Variant;
using sarnel::ConsoleError;

// The members of the control beyond SerialControl that these tests look at, each one call by
// dispatch identifier through callRs232, as the windows' members are made.
class Rs232Control {
public:
    explicit Rs232Control(sarnel::SerialControl& control) : control_(control) {}

    std::int32_t baudRate() { return get(veskor::DISPID_BaudRate).i4; }
    void setBaudRate(std::int32_t v) {
        call(veskor::DISPID_BaudRate, com::DISPATCH_PROPERTYPUT, {Variant(v)});
    }
    std::int16_t dataBits() { return get(veskor::DISPID_DataBits).i2; }
    std::int16_t stopBits() { return get(veskor::DISPID_StopBits).i2; }
    std::string eventChar() { return com::narrow(get(veskor::DISPID_EventChar).str); }
    std::int32_t fireOnEventChar() { return get(veskor::DISPID_FireOnEventChar).i4; }
    std::int32_t bytesUsedRQ() { return get(veskor::DISPID_BytesUsedRQ).i4; }

    std::string read(std::int32_t count, std::int32_t timeoutMs, std::int32_t* bytesRead) {
        Variant n;
        Variant r = call(veskor::DISPID_Read, com::DISPATCH_METHOD, {count, timeoutMs, Variant::byRef(n)});
        *bytesRead = n.vt == com::VT_I4 ? n.i4 : 0;
        return com::narrow(r.str);
    }
    std::int32_t writeBinary(const void* bytes, std::int32_t count, std::int32_t timeoutMs) {
        auto address = static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(bytes));
        return call(veskor::DISPID_WriteBinary, com::DISPATCH_METHOD, {address, count, timeoutMs}).i4;
    }
    // The block's bytes; the block is released here.
    std::string readBinary(std::int32_t count, std::int32_t timeoutMs) {
        Variant n;
        Variant r =
            call(veskor::DISPID_ReadBinary, com::DISPATCH_METHOD, {count, timeoutMs, Variant::byRef(n)});
        auto* block = reinterpret_cast<char*>(static_cast<std::intptr_t>(r.i8));
        std::string bytes;
        if (block && n.vt == com::VT_I4 && n.i4 > 0) bytes.assign(block, static_cast<std::size_t>(n.i4));
        com::taskMemFree(block);
        return bytes;
    }
    struct LineErrors {
        std::int32_t parity = 0, framing = 0, overrun = 0;
    };
    LineErrors getErrorStatus() {
        Variant p, f, o;
        call(veskor::DISPID_GetErrorStatus, com::DISPATCH_METHOD,
             {Variant::byRef(p), Variant::byRef(f), Variant::byRef(o)});
        return LineErrors{p.i4, f.i4, o.i4};
    }

private:
    Variant call(com::DISPID id, std::uint16_t flags, std::vector<Variant> args = {}) {
        return sarnel::callRs232(control_, id, flags, std::move(args));
    }
    Variant get(com::DISPID id) { return call(id, com::DISPATCH_PROPERTYGET); }

    sarnel::SerialControl& control_;
};

class Rs232 : public ::testing::Test {
protected:
    void TearDown() override {
        if (master_ >= 0) ::close(master_);
    }

    // A pseudo-terminal whose master the test holds; returns the slave's path.
    std::string pty() {
        int slave = -1;
        char name[256] = {};
        EXPECT_EQ(::openpty(&master_, &slave, name, nullptr, nullptr), 0);
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        ::close(slave);
        return name;
    }
    void send(const std::string& s) { ASSERT_EQ(::write(master_, s.data(), s.size()), (ssize_t)s.size()); }
    std::string receive(std::size_t n) {
        std::string got;
        for (int i = 0; i < 100 && got.size() < n; ++i) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                char buf[64];
                ssize_t k = ::read(master_, buf, sizeof buf);
                if (k > 0) got.append(buf, static_cast<std::size_t>(k));
            }
        }
        return got;
    }
    static bool serveUntil(const std::function<bool()>& done) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            com::waitApartment(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
            com::serveApartment();
        }
        return true;
    }

    comtest::TempRegistry registry_;
    comtest::ApartmentScope apartment_;
    int master_ = -1;
};

TEST_F(Rs232, FreshBuildCreatesTheControlWithoutRegistration) {
    auto rs232 = sarnel::createRs232();
    Rs232Control whole(*rs232);
    EXPECT_EQ(whole.baudRate(), 9600);
    EXPECT_EQ(whole.dataBits(), 8);
    EXPECT_EQ(whole.stopBits(), 1);
    EXPECT_EQ(whole.eventChar(), "\n");
    EXPECT_EQ(whole.fireOnEventChar(), 1);
    EXPECT_FALSE(rs232->isOpen());
    com::Registry r;
    ASSERT_EQ(com::loadRegistry(r), com::S_OK);
    EXPECT_TRUE(r.empty());
}

TEST_F(Rs232, FailuresBecomeConsoleErrorsThatTheAlertReports) {
    auto rs232 = sarnel::createRs232();
    try {
        rs232->open("/nonexistent/port", "115200,n,8,1");
        FAIL() << "opened a port that does not exist";
    } catch (const ConsoleError& e) {
        EXPECT_EQ(static_cast<std::uint32_t>(e.number()), 0x80040205u);
        EXPECT_EQ(e.description(),
                  "Could not open port.  This may be because the port does not exist or is already in use.  "
                  "/nonexistent/port: no such device.");
        sarnel::AlertRecorder recorder;
        sarnel::reportError("Veskor error", e);
        ASSERT_EQ(recorder.alerts.size(), 1u);
        const std::string& shown = recorder.alerts[0].message;
        EXPECT_EQ(shown.rfind("Error Code: 0x80040205", 0), 0u) << shown;
        EXPECT_NE(shown.find("rescan the ports.\r\n\r\n/nonexistent/port: no such device."),
                  std::string::npos)
            << shown;
    }
    try {
        rs232->portName();
        FAIL();
    } catch (const ConsoleError& e) {
        EXPECT_EQ(static_cast<std::uint32_t>(e.number()), 0x80040200u);
        EXPECT_EQ(e.description(), "Port is closed.");
        EXPECT_NE(sarnel::errormessage(e.number(), e.description()).find("Port is closed."),
                  std::string::npos);
    }
    Rs232Control whole(*rs232);
    EXPECT_THROW(whole.setBaudRate(1234), ConsoleError);
    EXPECT_EQ(whole.baudRate(), 9600) << "a refused put keeps the value";
}

TEST_F(Rs232, WritesReadsAndCallsTheLineHandlerOnItsOwnThread) {
    const std::string port = pty();
    auto rs232 = sarnel::createRs232();
    Rs232Control whole(*rs232);
    int lines = 0;
    std::thread::id handlerThread;
    rs232->setLineHandler([&] {
        ++lines;
        handlerThread = std::this_thread::get_id();
    });
    rs232->open(port, "115200,n,8,1");
    EXPECT_TRUE(rs232->isOpen());
    EXPECT_EQ(whole.baudRate(), 115200);
    EXPECT_EQ(rs232->portName(), "\\\\.\\" + port);

    EXPECT_EQ(rs232->write("$0000\r", 0, 100), 6);
    EXPECT_EQ(receive(6), "$0000\r");
    rs232->writeBackground("$0010");
    EXPECT_EQ(receive(5), "$0010");
    const unsigned char raw[] = {0x00, 0x80, 0xff};
    EXPECT_EQ(whole.writeBinary(raw, 3, -1), 3);
    EXPECT_EQ(receive(3), std::string("\x00\x80\xff", 3));

    send("!0000022600\r\n");
    ASSERT_TRUE(serveUntil([&] { return lines > 0; }));
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
    EXPECT_EQ(rs232->read(), "!0000022600\r\n");
    EXPECT_EQ(rs232->read(), "");

    send("\xe9\x01");
    ASSERT_TRUE(serveUntil([&] { return whole.bytesUsedRQ() == 2; }));
    std::int32_t n = -1;
    EXPECT_EQ(whole.read(2, 200, &n), "\xe9\x01");
    EXPECT_EQ(n, 2);
    send("xyz");
    ASSERT_TRUE(serveUntil([&] { return whole.bytesUsedRQ() == 3; }));
    EXPECT_EQ(whole.readBinary(3, 200), "xyz");

    auto errors = whole.getErrorStatus();
    EXPECT_EQ(errors.parity + errors.framing + errors.overrun, 0);
    EXPECT_EQ(rs232->getBreak(), 0);
    rs232->clearRQ();
    rs232->clearTQ();
    rs232->close();
    EXPECT_FALSE(rs232->isOpen());
    rs232->close();  // closing twice is harmless
}

TEST_F(Rs232, ReleasingTheWindowsControlReleasesTheComponent) {
    const std::string module = com::programFolder() + "/libVeskorMod.so";
    {
        auto rs232 = sarnel::createRs232();
        ASSERT_TRUE(com::isModuleLoaded(module));
        rs232->open(pty(), "115200,n,8,1");
    }
    void* h = ::dlopen(module.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_TRUE(h);
    auto canUnload = reinterpret_cast<com::HRESULT (*)()>(::dlsym(h, "DllCanUnloadNow"));
    ASSERT_TRUE(canUnload);
    EXPECT_EQ(canUnload(), com::S_OK);
    ::dlclose(h);
}

TEST_F(Rs232, MissingModuleIsAClearError) {
    // The ProgID names a class whose registered module is gone, and nothing beside the
    // program serves it.
    const std::string bogus = "{0BADF00D-0000-4000-8000-0000000000AA}";
    ASSERT_EQ(com::updateRegistry([&](com::Registry& r) {
                  r.setValue("HKCR\\VeskorMod.Veskor\\CLSID", "", com::RegValue::string(bogus));
                  r.setValue("HKCR\\CLSID\\" + bogus + "\\InprocServer32", "",
                             com::RegValue::string("/nonexistent/libVeskorMod.so"));
                  return com::S_OK;
              }),
              com::S_OK);
    try {
        sarnel::createRs232();
        FAIL() << "created a control from a missing module";
    } catch (const ConsoleError& e) {
        EXPECT_EQ(e.number(), com::CO_E_DLLNOTFOUND);
        EXPECT_NE(e.description().find("/nonexistent/libVeskorMod.so"), std::string::npos) << e.description();
    }
}

TEST_F(Rs232, AThreadWithoutAnApartmentCannotCreateIt) {
    std::int32_t number = 0;
    std::thread([&] {
        try {
            sarnel::createRs232();
        } catch (const ConsoleError& e) {
            number = e.number();
        }
    }).join();
    EXPECT_EQ(number, com::CO_E_NOTINITIALIZED);
}

}  // namespace
