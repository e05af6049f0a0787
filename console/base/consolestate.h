// Values the whole console shares.
#pragma once

#include <cstdint>

namespace sarnel {

// The console-wide port-open flag: -1 while the port chosen in the port list is open on the
// main window's control, 0 otherwise.
std::int16_t& portopen();

}  // namespace sarnel
