// The resident bootloader: judges each line it receives and programs the data records into
// the program memory. Verdicts are the two-character replies "B" + letter.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/simulator.h"

namespace sim {

class Bootloader {
public:
    enum class Action { None, LeaveToApplication };
    struct Verdict {
        std::string reply;                  // "Ba", "Bs", ...
        std::chrono::microseconds busy{0};  // time the bootloader takes before answering
        Action action = Action::None;
    };

    Bootloader() : memory_(programMemorySize, 0xFF) {}

    // Called on entry: the extended address is reset to 0.
    void enter() { base_ = 0; }

    // One line as received between "$" and CR.
    Verdict line(std::string_view text, std::chrono::microseconds flashTimePerLine,
                 std::chrono::microseconds eraseTime);

    const std::vector<std::uint8_t>& memory() const { return memory_; }

private:
    Verdict record(std::string_view hex, std::chrono::microseconds flashTimePerLine);

    std::vector<std::uint8_t> memory_;
    std::uint32_t base_ = 0;  // from the last extended segment or linear address record
};

}  // namespace sim
