// The console's pauses. A pause lets every window event run (received data, clicks, the
// Cancel button) and blocks in the current pump until an event or the deadline: it never spins.
#pragma once

#include <cstdint>

namespace sarnel {

// Runs the events that are waiting now (the pump's processEvents).
void processEvents();

// Pauses n hundredths of a second (nothing below 1), on the monotonic clock, letting events run.
void waithundredths(std::int16_t n);

// Seconds from `start` to `now`, both times of day in seconds since midnight: across midnight
// 86400 - start + now; never negative.
double elapsedseconds(double start, double now);

// The wall clock's time of day in seconds since midnight, with fractions.
double timeofday();

}  // namespace sarnel
