// The `rs232` control of a console window: a VeskorMod `Veskor` object created through the
// component runtime by its ProgID and called by dispatch identifier.
#pragma once

#include "console/shell/serialcontrol.h"

#include <memory>

namespace sarnel {

// Creates the control for the calling thread's window. The thread must have entered a
// component apartment (com::initializeApartment), whose serving delivers the control's
// EvtCharReceived to the line handler. Throws ConsoleError when the component cannot be
// created (not registered and not beside the program, or its module is broken).
std::unique_ptr<SerialControl> createRs232();

}  // namespace sarnel
