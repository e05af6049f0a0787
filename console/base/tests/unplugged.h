// For tests of what the console says when its adapter is unplugged: the real rs232 control open
// on a pseudo-terminal whose far end the test closes, and the alert the write paths owe the
// user then.
#pragma once

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>
#include <veskor/veskor.h>

#include <chrono>
#include <string>
#include <thread>

#include "console/base/alert.h"
#include "console/base/rs232.h"

namespace sarnel::testing {

class UnpluggedPort {
public:
    UnpluggedPort() {
        char name[128] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) == 0) path_ = name;
    }
    ~UnpluggedPort() {
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }
    UnpluggedPort(const UnpluggedPort&) = delete;
    UnpluggedPort& operator=(const UnpluggedPort&) = delete;

    // Opens `control` on the port, then closes the far end and waits until the control has
    // noticed (its status query fails): the adapter is gone.
    void openThenUnplug(SerialControl& control) {
        ASSERT_FALSE(path_.empty()) << "no pseudo-terminal";
        control.open(path_, "115200,n,8,1");
        ::close(slave_);
        ::close(master_);
        slave_ = master_ = -1;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        for (;;) {
            try {
                callRs232(control, veskor::DISPID_BytesUsedRQ, com::DISPATCH_PROPERTYGET);
            } catch (const ConsoleError&) {
                return;
            }
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the hang-up was never noticed";
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

// The "ComWrite error" alert of a write to a device that went away: its own text (reconnect,
// rescan), not a request to report an error nobody handles.
inline void expectLostDeviceAlert(const AlertRequest& alert) {
    EXPECT_EQ(alert.caption, "ComWrite error");
    EXPECT_EQ(alert.message.rfind("Error Code: 0x80040206", 0), 0u) << alert.message;
    EXPECT_NE(alert.message.find("If the device was unplugged after the port scan was completed, reconnect "
                                 "the device and then rescan the ports."),
              std::string::npos)
        << alert.message;
    EXPECT_EQ(alert.message.find("Report this error"), std::string::npos) << alert.message;
}

}  // namespace sarnel::testing
