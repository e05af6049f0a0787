// The bootloader window's write over the real serial control when the adapter was unplugged
// (the far end of a pseudo-terminal closed): the alert names the lost device.
#include <com/apartment.h>
#include <gtest/gtest.h>

#include "alertlog_support.h"
#include "console/base/rs232.h"
#include "console/base/tests/unplugged.h"
#include "console/bootloader/bootloader.h"
#include "console/bootloader/textbootview.h"

namespace {

using namespace sarnel::boot;

TEST(BootloaderUnplugged, TheAlertSaysTheDeviceIsGone) {
    com::initializeApartment();
    {
        boottest::AlertLog alerts;
        std::unique_ptr<sarnel::SerialControl> rs232 = sarnel::createRs232();
        TextBootView view;
        BootLoader loader(*rs232, view);
        sarnel::testing::UnpluggedPort port;
        port.openThenUnplug(*rs232);
        loader.setPortOpen(true);

        loader.comwrite("$E\r", 0);
        ASSERT_EQ(alerts.alerts.size(), 1u);
        sarnel::testing::expectLostDeviceAlert(alerts.alerts[0]);
        EXPECT_FALSE(loader.portOpen());
        EXPECT_FALSE(rs232->isOpen());
    }
    com::uninitializeApartment();
}

}  // namespace
