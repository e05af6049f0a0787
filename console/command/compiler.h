// The script compiler.
//
// A script is the text of the command queue: lines separated by CR, LF or "|", words separated
// by spaces or tabs, comments from ";", "/" or "\" to the end of the line. scriptprocessor turns
// it into one script frame (frames.h): "$0010", the length byte, the tokens, CR.
//
// Everything here runs on the window's thread. Texts are bytes (ISO 8859-1 characters).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sarnel {

// The largest frame length byte: token bytes + 1.
inline constexpr int kMaxTokenCount = 125;
// Only the first lines of a script are compiled (blank lines do not count).
inline constexpr std::size_t kMaxScriptLines = 100;

// The outcome of compiling a script: the frame (ending in CR) or, when `frame` is empty, the
// message of the first error.
struct CompileResult {
    std::string frame;
    std::string error;            // e.g. "No data to compile!"
    std::int32_t tokenBytes = 0;  // token bytes of the frame (its length byte minus 1)
};

// Compiles without reporting: for sarnel-cli, tests and anything that shows errors itself.
// `script` is replaced by its normalised form (one CR between lines).
CompileResult compilescript(std::string& script);

// Compiles `script` (replaced by its normalised form) into a script frame ending in CR. On an
// error it shows the alert "I2C processor error" (style 0, font size 12) with the message and
// returns "".
std::string scriptprocessor(std::string& script);

}  // namespace sarnel
