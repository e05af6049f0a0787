// The `rs232` control of a console window: a VeskorMod `Veskor` object created through the
// component runtime by its ProgID and called by dispatch identifier.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "console/base/serialcontrol.h"

namespace sarnel {

// Creates the control for the calling thread's window. The thread must have entered a
// component apartment (com::initializeApartment), whose serving delivers the control's
// EvtCharReceived to the line handler. Throws ConsoleError when the component cannot be
// created (not registered and not beside the program, or its module is broken).
std::unique_ptr<SerialControl> createRs232();

// The whole control, for windows that need more than SerialControl: every property and
// method of the component, one call by dispatch identifier each. Texts are bytes (one
// character per byte). Every member throws ConsoleError with the component's result code and
// error description when the call fails, and must be called on the creating thread.
class Rs232Control : public SerialControl {
public:
    virtual std::int32_t baudRate() = 0;
    virtual void setBaudRate(std::int32_t value) = 0;
    virtual std::int16_t dataBits() = 0;
    virtual void setDataBits(std::int16_t value) = 0;
    virtual std::int16_t parity() = 0;
    virtual void setParity(std::int16_t value) = 0;
    virtual std::int16_t stopBits() = 0;  // 1, 15 (one and a half) or 2
    virtual void setStopBits(std::int16_t value) = 0;
    virtual std::int32_t cd() = 0;   // 128 or 0
    virtual std::int32_t cts() = 0;  // 16 or 0
    virtual std::int32_t dsr() = 0;  // 32 or 0
    virtual std::int32_t dtr() = 0;
    virtual void setDtr(std::int32_t value) = 0;
    virtual std::int32_t dtrDsr() = 0;
    virtual void setDtrDsr(std::int32_t value) = 0;
    virtual std::int32_t rtsCts() = 0;
    virtual void setRtsCts(std::int32_t value) = 0;
    virtual std::int32_t rts() = 0;
    virtual void setRts(std::int32_t value) = 0;
    virtual std::int32_t xonXoff() = 0;
    virtual void setXonXoff(std::int32_t value) = 0;
    virtual std::int32_t portHandle() = 0;
    virtual std::int32_t bytesUsedRQ() = 0;
    virtual std::int32_t bytesUsedTQ() = 0;
    virtual std::int32_t ring() = 0;
    virtual std::string eventChar() = 0;
    virtual void setEventChar(const std::string& value) = 0;
    virtual std::int32_t fireOnEventChar() = 0;
    virtual void setFireOnEventChar(std::int32_t value) = 0;
    virtual std::int32_t enableReadOnEventChar() = 0;
    virtual void setEnableReadOnEventChar(std::int32_t value) = 0;

    // Open(PortName) with the settings left out: the stored line settings apply.
    virtual void openStored(const std::string& portName) = 0;
    // Read(count, timeoutMs, bytesRead): see the component's header for count and time-out.
    virtual std::string read(std::int32_t count, std::int32_t timeoutMs, std::int32_t* bytesRead) = 0;
    struct LineErrors {
        std::int32_t parity = 0, framing = 0, overrun = 0;
    };
    virtual LineErrors getErrorStatus() = 0;
    virtual void sendXon() = 0;
    virtual void sendXoff() = 0;
    // WriteBinary of `count` bytes at `bytes`; returns the byte count written.
    virtual std::int32_t writeBinary(const void* bytes, std::int32_t count, std::int32_t timeoutMs) = 0;
    // ReadBinary: the bytes of the component's block (which is released here).
    virtual std::string readBinary(std::int32_t count, std::int32_t timeoutMs) = 0;

    using SerialControl::read;
};

// The same control, as its whole interface.
std::unique_ptr<Rs232Control> createRs232Control();

}  // namespace sarnel
