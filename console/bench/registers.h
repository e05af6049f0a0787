// Register access: reading and writing the registers (or memory) of one device.
//
// A read is Start, Write address+W, Write register (two bytes, high first, for 16-bit
// register addresses), Start, Write address+R, count - 1 reads with Ack, one with Nack, Stop.
// A write is Start, Write address+W, Write register, Write each data byte, Stop. A request
// larger than one frame runs on over several frames without a stop between them, so a
// 256-byte EEPROM read is one sequential read.
//
// A byte the device does not acknowledge (its address, the register address, a data byte)
// fails the request with a message that names it; the frames after it are not sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "console/bench/transfer.h"

namespace sarnel::bench {

struct RegisterAddress {
    std::uint8_t device = 0;  // 7-bit
    std::uint16_t reg = 0;    // 0..0xFF, or 0..0xFFFF with reg16
    bool reg16 = false;
};

class RegisterRead final : public Transfer {
public:
    // Throws std::invalid_argument for a device address above 0x7F, a register beyond its
    // width or a count of 0.
    RegisterRead(RegisterAddress at, std::size_t count);
    const RegisterAddress& at() const { return at_; }
    // The bytes read, in order (complete once finished() without an error).
    const std::vector<std::uint8_t>& data() const { return data_; }

private:
    void result(const BusOp& op, const ResultItem& item) override;
    RegisterAddress at_;
    std::vector<std::uint8_t> data_;
};

class RegisterWrite final : public Transfer {
public:
    // Throws std::invalid_argument as RegisterRead does, and for no data.
    RegisterWrite(RegisterAddress at, const std::vector<std::uint8_t>& data);
    const RegisterAddress& at() const { return at_; }

private:
    void result(const BusOp& op, const ResultItem& item) override;
    RegisterAddress at_;
    std::size_t count_ = 0;
};

}  // namespace sarnel::bench
