// Single-threaded apartments: a thread that enters one owns the objects it creates, and calls
// from other threads reach those objects only as calls posted into the apartment, which run
// on the owning thread whenever it serves its apartment.
//
// A program with a Qt event loop serves its apartment from it (a socket notifier on the wake
// descriptor); programs without one, and the tests, serve it in their waits. Every wait of
// such a program therefore lets the component's events in, nested waits included.
#pragma once

#include <com/base.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

namespace com {

class Apartment;
using ApartmentRef = std::shared_ptr<Apartment>;

// Enters a single-threaded apartment on the calling thread: S_OK the first time, S_FALSE when
// the thread already has one (each call must be balanced by uninitializeApartment).
HRESULT initializeApartment();
// The last balanced call leaves the apartment: calls still waiting in it are dropped unrun and
// later posts are refused.
void uninitializeApartment();

// The calling thread's apartment; empty when it has none.
ApartmentRef currentApartment();

// Queues `call` to run on the apartment's thread. False, and nothing queued, when the
// apartment has been left.
bool post(const ApartmentRef& apartment, std::function<void()> call);

// True when the calling thread owns `apartment`.
bool isCurrent(const ApartmentRef& apartment);

// --- Serving, on the owning thread --------------------------------------------------------

// A descriptor of the calling thread's apartment that is readable while calls wait in it;
// -1 when the thread has no apartment. Owned by the apartment: do not close it.
int apartmentWakeDescriptor();
// Runs the calls that wait in the calling thread's apartment now (calls posted meanwhile wait
// for the next serve) and returns how many ran. Calls may serve again from inside (nested
// waits); each call runs exactly once.
std::size_t serveApartment();
// Blocks until a call waits in the calling thread's apartment or the deadline passes, without
// running anything. True when a call waits.
bool waitApartment(std::chrono::steady_clock::time_point deadline);

}  // namespace com
