#include "bus.h"

namespace sim {

namespace {
constexpr std::uint8_t kLm75Address = 0x48;    // 0x90 / 0x91 on the wire
constexpr std::uint8_t kEepromAddress = 0x50;  // 0xA0 / 0xA1
}  // namespace

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

BusDevice* I2cBus::deviceAt(std::uint8_t address7) {
    if (address7 == kLm75Address) return &lm75_;
    if (address7 == kEepromAddress) return &eeprom_;
    return nullptr;
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
