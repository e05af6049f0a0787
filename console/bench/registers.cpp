#include "console/bench/registers.h"

#include <cstdio>
#include <stdexcept>
#include <string>

namespace sarnel::bench {

namespace {

// What each write of a request is; data bytes carry their index (from 0) instead.
enum Role : int { kAddress = -1, kRegisterHigh = -2, kRegister = -3, kReadAddress = -4 };

std::string hex2(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", v & 0xFFu);
    return text;
}

void check(const RegisterAddress& at) {
    if (at.device > 0x7F) throw std::invalid_argument("a device address is 7-bit");
    if (!at.reg16 && at.reg > 0xFF) throw std::invalid_argument("an 8-bit register address is 0..0xFF");
}

// Start, the address for writing and the register address.
std::vector<BusOp> head(const RegisterAddress& at) {
    std::vector<BusOp> ops;
    ops.push_back({BusOp::Kind::Start, 0, 0, true});
    ops.push_back({BusOp::Kind::Write, static_cast<std::uint8_t>(at.device << 1), kAddress, true});
    if (at.reg16)
        ops.push_back({BusOp::Kind::Write, static_cast<std::uint8_t>(at.reg >> 8), kRegisterHigh, true});
    ops.push_back({BusOp::Kind::Write, static_cast<std::uint8_t>(at.reg & 0xFF), kRegister, true});
    return ops;
}

// The message for a write that was not acknowledged, or "" for a data byte (the caller's).
std::string refusal(const RegisterAddress& at, const BusOp& op) {
    const std::string device = hex2(at.device);
    switch (op.tag) {
        case kAddress:
            return "the address byte " + hex2(op.byte) + " (device " + device +
                   ", write) was not acknowledged";
        case kReadAddress:
            return "the address byte " + hex2(op.byte) + " (device " + device +
                   ", read) was not acknowledged";
        case kRegisterHigh:
            return "the register address high byte " + hex2(op.byte) + " was not acknowledged by device " +
                   device;
        case kRegister:
            return std::string(at.reg16 ? "the register address low byte " : "the register address byte ") +
                   hex2(op.byte) + " was not acknowledged by device " + device;
        default:
            return {};
    }
}

}  // namespace

RegisterRead::RegisterRead(RegisterAddress at, std::size_t count) : at_(at) {
    check(at);
    if (count == 0) throw std::invalid_argument("a read reads at least one byte");
    std::vector<BusOp> ops = head(at);
    ops.push_back({BusOp::Kind::Start, 0, 0, true});
    ops.push_back({BusOp::Kind::Write, static_cast<std::uint8_t>(at.device << 1 | 1), kReadAddress, true});
    for (std::size_t i = 0; i < count; ++i) {
        const bool last = i + 1 == count;
        ops.push_back({last ? BusOp::Kind::ReadNack : BusOp::Kind::ReadAck, 0, static_cast<int>(i), true});
    }
    ops.push_back({BusOp::Kind::Stop, 0, 0, true});
    data_.reserve(count);
    build(std::move(ops));
}

void RegisterRead::result(const BusOp& op, const ResultItem& item) {
    if (op.kind == BusOp::Kind::Write) {
        if (acknowledgement(item) == false) fail(refusal(at_, op));
    } else if (op.kind == BusOp::Kind::ReadAck || op.kind == BusOp::Kind::ReadNack) {
        const auto byte = itembyte(item);
        if (!byte) {
            fail("the adapter's reply holds no byte for read " + std::to_string(op.tag + 1) + ": '" +
                 std::string(item.pair) + "'");
            return;
        }
        data_.push_back(*byte);
    }
}

RegisterWrite::RegisterWrite(RegisterAddress at, const std::vector<std::uint8_t>& data)
    : at_(at), count_(data.size()) {
    check(at);
    if (data.empty()) throw std::invalid_argument("a write writes at least one byte");
    std::vector<BusOp> ops = head(at);
    for (std::size_t i = 0; i < data.size(); ++i)
        ops.push_back({BusOp::Kind::Write, data[i], static_cast<int>(i), true});
    ops.push_back({BusOp::Kind::Stop, 0, 0, true});
    build(std::move(ops));
}

void RegisterWrite::result(const BusOp& op, const ResultItem& item) {
    if (op.kind != BusOp::Kind::Write || acknowledgement(item) != false) return;
    if (op.tag >= 0)
        fail("data byte " + std::to_string(op.tag + 1) + " of " + std::to_string(count_) + ", " +
             hex2(op.byte) + ", was not acknowledged by device " + hex2(at_.device));
    else
        fail(refusal(at_, op));
}

}  // namespace sarnel::bench
