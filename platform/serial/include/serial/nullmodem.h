// An in-memory null-modem cable: two device ends, opened by name through openDevice, whose
// data, modem lines and breaks cross over as a wired cable does: TX to RX, RTS to CTS, DTR to
// DSR and CD. It exists for tests: everything a real line can do that a pseudo-terminal cannot
// (modem lines, break, parity/framing/overrun errors, ring, a transmit that is held) can be
// produced on it.
//
// Transmission is instant unless held: a write stays unfinished while its end is held by
// SETXOFF, or by CTS (DSR) output flow control while the crossed line is off. The receive
// queue holds 8192 bytes; beyond that the oldest give way and a receive overflow is flagged.
#pragma once

#include <serial/device.h>

#include <cstdint>
#include <memory>
#include <string>

namespace serial {

class NullModem {
public:
    // Registers a cable whose ends open as `nameA` and `nameB` (until the cable is destroyed).
    // Each end can be open once at a time.
    static std::shared_ptr<NullModem> create(const std::string& nameA, const std::string& nameB);
    ~NullModem();

    // Line errors (kParityError, kFramingError, kOverrun) as received by end `end` (0 = A, 1 = B).
    void injectErrors(int end, std::uint32_t errors);
    // The ring indicator seen by end `end`; switching it on is a ring event there.
    void setRing(int end, bool on);

    struct Impl;
    explicit NullModem(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace serial
