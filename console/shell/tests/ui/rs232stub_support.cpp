// The window tests give the main window fake controls; only the bootloader window would make
// a control of its own, which these tests never open.
#include "console/shell/consoleerror.h"
#include "console/shell/rs232.h"

namespace sarnel {
__attribute__((weak)) std::unique_ptr<SerialControl> createRs232() {
    throw ConsoleError(static_cast<std::int32_t>(0x80040154), "no serial component in this test");
}
}  // namespace sarnel
