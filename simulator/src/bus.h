// The I2C bus behind the adapter: the master's byte-level operations and the devices on it.
// Transfers take no time here; only the EEPROM's write cycle is timed.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "sim/simulator.h"

namespace sim {

using Clock = std::chrono::steady_clock;

// A device on the bus, addressed by its 7-bit address.
class BusDevice {
public:
    virtual ~BusDevice() = default;
    // The address byte matched this device: true to acknowledge it.
    virtual bool select(bool read, Clock::time_point now) = 0;
    // A byte written while selected for writing: true to acknowledge it.
    virtual bool write(std::uint8_t byte) = 0;
    // A byte read while selected for reading.
    virtual std::uint8_t read() = 0;
    // A repeated start or a stop ends the device's transfer.
    virtual void restart() {}
    virtual void stop(Clock::time_point) {}
};

// Temperature sensor: a pointer register selects temperature (0, read-only), configuration
// (1, one byte), Thyst (2) and Tos (3) (two bytes, MSB first, the low 7 bits read 0). Reads
// of a two-byte register alternate MSB and LSB; a one-byte register repeats. The pointer is
// kept between transfers, so a read without a pointer write uses the last one.
class Lm75 final : public BusDevice {
public:
    bool select(bool read, Clock::time_point now) override;
    bool write(std::uint8_t byte) override;
    std::uint8_t read() override;

    void setMeasured(std::uint16_t image);
    const Lm75State& state() const { return s_; }

private:
    void follow();  // the temperature register tracks the measurement unless shut down

    Lm75State s_;
    std::uint16_t measured_ = 0x1900;
    int index_ = 0;  // byte position within the current transfer
};

// 256-byte serial EEPROM with 8-byte pages. A write transfer sets the address counter with
// its first byte; the data bytes fill the page (wrapping within it) and are programmed at the
// stop, after which the device does not acknowledge its address for the write cycle. Reads
// are sequential from the address counter, wrapping at 256.
class Eeprom final : public BusDevice {
public:
    static constexpr int kPage = 8;

    explicit Eeprom(std::chrono::microseconds writeCycle) : writeCycle_(writeCycle) { bytes_.fill(0xFF); }

    bool select(bool read, Clock::time_point now) override;
    bool write(std::uint8_t byte) override;
    std::uint8_t read() override;
    void restart() override { pending_.clear(); }
    void stop(Clock::time_point now) override;

    EepromState state() const { return {bytes_, address_}; }

private:
    std::array<std::uint8_t, 256> bytes_{};
    std::map<std::uint8_t, std::uint8_t> pending_;
    std::uint8_t address_ = 0;
    bool addressPhase_ = false;
    std::chrono::microseconds writeCycle_;
    Clock::time_point busyUntil_{};
};

// The master's view: start, stop, write and read bytes, and the levels of SCL and SDA.
class I2cBus {
public:
    // The devices at distinct addresses within the device addresses; throws
    // std::invalid_argument otherwise.
    I2cBus(const std::vector<Device>& devices, std::chrono::microseconds eepromWriteCycle);

    void start();
    void stop(Clock::time_point now);
    // Returns true when the byte was acknowledged.
    bool write(std::uint8_t byte, Clock::time_point now);
    // ack: the master acknowledges (reads go on) or not (the device lets go of the bus).
    std::uint8_t read(bool ack);

    // Direct drive of the lines by the master (tokens 80..83); a released line reads 1.
    void driveScl(bool level) { scl_ = level; }
    void driveSda(bool level) { sda_ = level; }
    bool scl() const { return scl_; }
    bool sda() const { return sda_; }

    // Every LM75 measures the same temperature.
    void setMeasured(std::uint16_t image);
    // The devices' registers and memories, into the bus state.
    void state(BusState& s) const;

    // Power-up: the transfer in progress is dropped and both lines are released.
    void reset();

private:
    enum class Phase { Idle, Address, Writing, Reading, Ignored };
    BusDevice* deviceAt(std::uint8_t address7);

    std::map<std::uint8_t, std::unique_ptr<BusDevice>> devices_;
    std::map<std::uint8_t, Lm75*> lm75s_;
    std::map<std::uint8_t, Eeprom*> eeproms_;
    Phase phase_ = Phase::Idle;
    BusDevice* selected_ = nullptr;
    bool scl_ = true;
    bool sda_ = true;
};

}  // namespace sim
