// The `rs232` control of a console window: a VeskorMod `Veskor` object created through the
// component runtime by its ProgID and called by dispatch identifier.
#pragma once

#include <com/interfaces.h>
#include <com/variant.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console/base/serialcontrol.h"

namespace sarnel {

// Creates the control for the calling thread's window. The thread must have entered a
// component apartment (com::initializeApartment), whose serving delivers the control's
// EvtCharReceived to the line handler. Throws ConsoleError when the component cannot be
// created (not registered and not beside the program, or its module is broken).
std::unique_ptr<SerialControl> createRs232();

// Any member of a control made by createRs232, by dispatch identifier, for what SerialControl
// does not offer: the arguments in their natural order (com::Variant::missing() leaves an
// optional one out, com::Variant::byRef an out-argument). A failure throws ConsoleError with
// the component's result code and error description, as every member does.
com::Variant callRs232(SerialControl& control, com::DISPID member, std::uint16_t flags,
                       std::vector<com::Variant> args = {});

}  // namespace sarnel
