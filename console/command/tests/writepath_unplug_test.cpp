// The main window's write path over the real serial control when the adapter was unplugged
// (the far end of a pseudo-terminal closed): the alert names the lost device.
#include <com/apartment.h>
#include <gtest/gtest.h>

#include "console/base/rs232.h"
#include "console/base/tests/alertrecorder.h"
#include "console/base/tests/unplugged.h"
#include "console/command/writepath.h"

namespace sarnel {
namespace {

struct Window final : WriteHost {
    SerialControl& rs232() override { return *serial; }
    void setTxd(const std::string&) override {}
    void setRxd(const std::string&) override {}
    void emptyRxBuffer() override {}
    void selectNoPort() override { ++selectedNone; }

    std::unique_ptr<SerialControl> serial;
    int selectedNone = 0;
};

TEST(WritePathUnplugged, TheAlertSaysTheDeviceIsGone) {
    com::initializeApartment();
    {
        AlertRecorder alerts;
        Window window;
        window.serial = createRs232();
        testing::UnpluggedPort port;
        port.openThenUnplug(*window.serial);
        portopen() = -1;

        ComWrite(window, "$0000\r", 10);
        ASSERT_EQ(alerts.alerts.size(), 1u);
        testing::expectLostDeviceAlert(alerts.alerts[0]);
        EXPECT_EQ(window.selectedNone, 1);
        EXPECT_EQ(portopen(), 0);
        EXPECT_FALSE(window.serial->isOpen());
    }
    com::uninitializeApartment();
}

}  // namespace
}  // namespace sarnel
