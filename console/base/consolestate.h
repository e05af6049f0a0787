// The values the whole console shares. The program's main() owns one ConsoleState and hands it
// to the windows' logic (and sarnel-cli's session owns one); a test makes a fresh one.
#pragma once

#include <cstdint>
#include <string>

namespace sarnel {

struct ConsoleState {
    // The port-open flag: -1 while the port chosen in the port list is open on the main
    // window's control, 0 otherwise.
    std::int16_t portopen = 0;
    // The main window's receive buffer `rxbuffer`: what its control has delivered and the
    // decoder has not yet taken out.
    std::string rxbuffer;
    // The text received by the scan's control since the current port's probe began; it keeps
    // the last probed port's replies until the next probe. The main window's and the
    // bootloader window's scans share it.
    std::string scanbuffer;
    // The name of the port the main window last had open, or at start-up the one it had open
    // when it last closed; empty when none. The bootloader window pre-selects it.
    std::string adapterport;
};

}  // namespace sarnel
