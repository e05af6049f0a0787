// The console's error exception: a failed call into the serial component (or any other
// failure a window handler traps) carries its number and description to the handler, which
// reports it through ShowAlert.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace sarnel {

class ConsoleError : public std::runtime_error {
public:
    ConsoleError(std::int32_t number, const std::string& description)
        : std::runtime_error(description), number_(number), description_(description) {}

    // The run-time error number: a component result code such as 0x80040205, or one of the
    // console's own numbers (6 overflow, 70 to 76 file errors, 32755 dialog cancelled).
    std::int32_t number() const { return number_; }
    const std::string& description() const { return description_; }

private:
    std::int32_t number_;
    std::string description_;
};

}  // namespace sarnel
