// What the host has set on the slave side of the pseudo-terminal. The adapter's UART runs at
// 115200 baud; a host at another rate is not understood.
#pragma once

namespace sim {

// True when the terminal at `fd` is set to 115200 baud, or when its settings cannot be read.
bool hostMatchesAdapter(int fd);

}  // namespace sim
