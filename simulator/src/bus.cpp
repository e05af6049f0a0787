#include "bus.h"

#include <stdexcept>

namespace sim {

// --- LM75 -----------------------------------------------------------------------------------

bool Lm75::select(bool, Clock::time_point) {
    index_ = 0;
    follow();
    return true;
}

bool Lm75::write(std::uint8_t byte) {
    const int at = index_++;
    if (at == 0) {
        s_.pointer = byte & 0x03;
        return true;
    }
    switch (s_.pointer) {
        case 0:  // temperature: read-only, the byte is acknowledged and dropped
            break;
        case 1:
            if (at == 1) {
                s_.config = byte;
                follow();
            }
            break;
        default: {
            std::uint16_t& reg = s_.pointer == 2 ? s_.thyst : s_.tos;
            if (at == 1) reg = static_cast<std::uint16_t>(byte << 8 | (reg & 0x00FF));
            if (at == 2) reg = static_cast<std::uint16_t>((reg & 0xFF00) | (byte & 0x80));
            break;
        }
    }
    return true;
}

std::uint8_t Lm75::read() {
    const int at = index_++;
    std::uint16_t reg = 0;
    switch (s_.pointer) {
        case 0:
            reg = s_.temperature;
            break;
        case 1:
            return s_.config;
        case 2:
            reg = s_.thyst;
            break;
        default:
            reg = s_.tos;
            break;
    }
    return static_cast<std::uint8_t>(at % 2 == 0 ? reg >> 8 : reg & 0xFF);
}

void Lm75::setMeasured(std::uint16_t image) {
    measured_ = static_cast<std::uint16_t>(image & 0xFF80);
    follow();
}

void Lm75::follow() {
    if ((s_.config & 0x01) == 0) s_.temperature = measured_;
}

// --- EEPROM ---------------------------------------------------------------------------------

bool Eeprom::select(bool read, Clock::time_point now) {
    if (now < busyUntil_) return false;  // write cycle in progress
    addressPhase_ = !read;
    pending_.clear();
    return true;
}

bool Eeprom::write(std::uint8_t byte) {
    if (addressPhase_) {
        address_ = byte;
        addressPhase_ = false;
        return true;
    }
    pending_[address_] = byte;
    address_ = static_cast<std::uint8_t>((address_ & ~(kPage - 1)) | ((address_ + 1) & (kPage - 1)));
    return true;
}

std::uint8_t Eeprom::read() {
    const std::uint8_t b = bytes_[address_];
    address_ = static_cast<std::uint8_t>(address_ + 1);
    return b;
}

void Eeprom::stop(Clock::time_point now) {
    if (pending_.empty()) return;
    for (const auto& [at, b] : pending_) bytes_[at] = b;
    pending_.clear();
    busyUntil_ = now + writeCycle_;
}

// --- Bus ------------------------------------------------------------------------------------

I2cBus::I2cBus(const std::vector<Device>& devices, std::chrono::microseconds eepromWriteCycle) {
    for (const Device& d : devices) {
        if (d.address < firstDeviceAddress || d.address > lastDeviceAddress)
            throw std::invalid_argument("a device address is 0x08..0x77");
        if (devices_.count(d.address)) throw std::invalid_argument("two devices at one address");
        if (d.kind == DeviceKind::Lm75) {
            auto lm75 = std::make_unique<Lm75>();
            lm75s_[d.address] = lm75.get();
            devices_[d.address] = std::move(lm75);
        } else {
            auto eeprom = std::make_unique<Eeprom>(eepromWriteCycle);
            eeproms_[d.address] = eeprom.get();
            devices_[d.address] = std::move(eeprom);
        }
    }
}

BusDevice* I2cBus::deviceAt(std::uint8_t address7) {
    const auto d = devices_.find(address7);
    return d == devices_.end() ? nullptr : d->second.get();
}

void I2cBus::setMeasured(std::uint16_t image) {
    for (auto& [address, lm75] : lm75s_) lm75->setMeasured(image);
}

void I2cBus::state(BusState& s) const {
    for (const auto& [address, lm75] : lm75s_) s.lm75s[address] = lm75->state();
    for (const auto& [address, eeprom] : eeproms_) s.eeproms[address] = eeprom->state();
    if (!s.lm75s.empty()) s.lm75 = s.lm75s.begin()->second;
    if (!s.eeproms.empty()) {
        s.eeprom = s.eeproms.begin()->second.bytes;
        s.eepromAddress = s.eeproms.begin()->second.address;
    } else {
        s.eeprom.fill(0xFF);
    }
}

void I2cBus::start() {
    if (selected_) selected_->restart();
    selected_ = nullptr;
    phase_ = Phase::Address;
    sda_ = false;
    scl_ = false;
}

void I2cBus::stop(Clock::time_point now) {
    if (selected_) selected_->stop(now);
    selected_ = nullptr;
    phase_ = Phase::Idle;
    scl_ = true;
    sda_ = true;
}

bool I2cBus::write(std::uint8_t byte, Clock::time_point now) {
    scl_ = false;
    switch (phase_) {
        case Phase::Address: {
            const bool read = (byte & 1) != 0;
            BusDevice* d = deviceAt(byte >> 1);
            if (d && d->select(read, now)) {
                selected_ = d;
                phase_ = read ? Phase::Reading : Phase::Writing;
                return true;
            }
            phase_ = Phase::Ignored;
            return false;
        }
        case Phase::Writing:
            return selected_->write(byte);
        default:  // nobody listens, or the selected device is the one sending
            return false;
    }
}

std::uint8_t I2cBus::read(bool ack) {
    scl_ = false;
    if (phase_ != Phase::Reading) return 0xFF;  // released SDA reads as ones
    const std::uint8_t b = selected_->read();
    if (!ack) phase_ = Phase::Ignored;  // a not-acknowledged byte ends the device's sending
    return b;
}

void I2cBus::reset() {
    selected_ = nullptr;
    phase_ = Phase::Idle;
    scl_ = true;
    sda_ = true;
}

}  // namespace sim
