// The main window when a reply comes behind more noise than the receive queue holds.
#include "console/shell/tests/ui/simulated_support.h"

namespace sarnel {
namespace {

TEST_F(Simulated, AReplyBehindALongRunWithoutALineFeedIsDecoded) {
    chooseAdapter();
    sim::FaultTuning tuning;
    tuning.garbageBytes = 9000;
    simulated.adapter().setFaultTuning(tuning);
    simulated.adapter().setFault(sim::Fault::Garbage);
    click("cmmd_24");  // Fast
    EXPECT_TRUE(awaitActivity("[Speed set Fast=400k]")) << activity();
    // And the receive path stays alive for what follows.
    simulated.adapter().clearFaults();
    click("cmmd_19");  // H>L
    EXPECT_TRUE(awaitActivity("[Edge = High-to-Low ]")) << activity();
    EXPECT_TRUE(alerts.alerts.empty());
}

}  // namespace
}  // namespace sarnel
