// What the system knows of its serial devices: the device path, the /dev/serial/by-id link,
// the driver and, for USB devices, the ids and the strings the device reports. The system's
// source reads them through libudev; tests describe devices of their own (FakePortInfo),
// since containers and CI machines have no USB devices.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace serial {

// What tells one USB serial port from every other, whatever ttyUSB or ttyACM index it gets:
// the device's ids, its serial number and the interface the port belongs to (a device with
// two ports has one serial number for both).
struct UsbIdentity {
    std::string vendorId;   // four lower-case hex digits, "0403"
    std::string productId;  // "6001"
    std::string interface;  // the interface number as two hex digits, "00"
    std::string serial;     // the serial number the device reports, "A12345XY"

    // "0403:6001 00 A12345XY": how the per-user file writes it.
    std::string text() const;
    bool operator==(const UsbIdentity&) const = default;
};

struct PortInfo {
    std::string path;    // the device node, "/dev/ttyUSB0"
    std::string byId;    // its link under /dev/serial/by-id/; empty when udev made none
    std::string driver;  // the kernel driver that serves the port, "ftdi_sio"; may be empty
    bool usb = false;    // a USB device: the fields below apply
    std::string vendorId, productId, interface;  // as in UsbIdentity
    std::string manufacturer, product;           // the device's own strings; may be empty
    std::string serial;                          // empty when the device reports none

    // A USB device with a serial number: it can keep a COM number of its own.
    bool identified() const { return usb && !serial.empty(); }
    UsbIdentity identity() const { return {vendorId, productId, interface, serial}; }
};

class PortInfoSource {
public:
    virtual ~PortInfoSource() = default;
    // Every serial device present, in the order of their paths.
    virtual std::vector<PortInfo> devices() = 0;
    // The device at `path` (its node, or a link that leads to it); none when there is none.
    virtual std::optional<PortInfo> device(const std::string& path) = 0;
};

// The system's serial devices, through libudev. Without a running udev daemon the by-id
// links are unknown; every other field comes from the kernel's device tree.
std::unique_ptr<PortInfoSource> systemPortInfo();

// Devices a test describes. device() also finds a device by a link that leads to its path.
class FakePortInfo final : public PortInfoSource {
public:
    std::vector<PortInfo> ports;

    std::vector<PortInfo> devices() override { return ports; }
    std::optional<PortInfo> device(const std::string& path) override;
};

// A serial number fit to be kept and compared: surrounding blanks removed; empty when it
// holds a control character (it could not be written on one line) or nothing else.
std::string cleanSerial(const std::string& reported);

}  // namespace serial
