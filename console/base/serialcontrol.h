// What the console's windows need of their serial control `rs232`. The real control is the
// VeskorMod component, created through the component runtime and called by dispatch
// identifier (rs232.h); tests may put a fake behind this interface.
//
// Every member runs on the owning window's thread. A failing call throws ConsoleError with
// the component's result code and its error description.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace sarnel {

class SerialControl {
public:
    virtual ~SerialControl() = default;

    // Open(PortName, Settings): settings such as "115200,n,8,1".
    virtual void open(const std::string& portName, const std::string& settings) = 0;
    // Close(): always succeeds.
    virtual void close() = 0;
    virtual bool isOpen() = 0;
    // The device path of the open port.
    virtual std::string portName() = 0;

    // Write(data, count, timeoutMs); returns the byte count written.
    virtual std::int32_t write(const std::string& data, std::int32_t count, std::int32_t timeoutMs) = 0;
    // Write(data) with the optional arguments left out: sent in the background.
    virtual void writeBackground(const std::string& data) = 0;
    // Read() with the optional arguments left out: every byte waiting, at once.
    virtual std::string read() = 0;

    // The Break property: get reads (and clears) the line's break state, 1 after a break.
    virtual std::int32_t getBreak() = 0;
    virtual void setBreak(std::int32_t value) = 0;
    virtual void clearRQ() = 0;
    virtual void clearTQ() = 0;

    // EvtCharReceived: called on the owner's thread whenever the event character (line feed)
    // has arrived; its arguments carry nothing with the console's default event settings.
    virtual void setLineHandler(std::function<void()> handler) = 0;
};

}  // namespace sarnel
