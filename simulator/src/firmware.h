// The adapter's firmware: the application with its I2C bus, and the bootloader, switching
// between them as the adapter does. Pure logic: a line in, replies and the time they take out;
// the link (adapter.cpp) does the timing and the bytes.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "bootloader.h"
#include "bus.h"
#include "sim/simulator.h"

namespace sim {

class Firmware {
public:
    struct Reply {
        std::string text;                    // without "!" and CR LF
        std::chrono::microseconds after{0};  // time spent before this reply, from the previous one
    };
    using Replies = std::vector<Reply>;

    explicit Firmware(const Options& options);

    // One line as received between "$" and CR, handled at time `now`.
    Replies line(std::string_view text, Clock::time_point now);
    // The interrupt input changes to `high` at time `now`.
    Replies interruptInput(bool high, Clock::time_point now);

    // Power-up: application running, volatile settings back to their defaults, reset cause
    // "power-up". The program memory, the EEPROM and the stored sequence survive.
    void powerUp();
    void enterBootloader();

    void setModel(Model model) { model_ = model; }
    Model model() const { return model_; }
    void setFirmwareVersion(int version, int revision);
    void setGpioInput(int pin, bool high) { outside_[pin] = high; }
    void setTemperature(double celsius);
    void setFlashTimePerLine(std::chrono::microseconds t) { flashTimePerLine_ = t; }
    std::chrono::microseconds flashTimePerLine() const { return flashTimePerLine_; }

    BusState state() const;
    const std::vector<std::uint8_t>& programMemory() const { return boot_.memory(); }

private:
    Replies application(std::string_view text, Clock::time_point now);
    // Runs a token string, returns the result items; `now` advances with the delays.
    std::string run(std::string_view tokens, Clock::time_point& now);
    bool pinLevel(int pin) const { return input_[pin] ? outside_[pin] : latch_[pin]; }

    Model model_;
    int version_ = 5;
    int revision_ = 0;
    std::chrono::microseconds flashTimePerLine_;
    std::chrono::microseconds eraseTime_;

    I2cBus bus_;
    Bootloader boot_;
    bool inBootloader_ = false;
    int resetCause_ = 1;  // as the reset-cause query reports it: 1 power-up, 3 watchdog

    // volatile settings (back to these at power-up)
    bool fast_ = false;
    bool triggerOn_ = false;
    bool edgeLowToHigh_ = false;
    bool supplyOpen_ = true;
    int supplyMillivolts_ = 0;
    std::array<bool, 4> input_{true, true, true, true};
    std::array<bool, 4> latch_{};
    std::string lastSequence_;

    // outside world and non-volatile store
    std::array<bool, 4> outside_{true, true, true, true};
    bool interrupt_ = true;
    std::string storedSequence_;
};

}  // namespace sim
