// Reading the input of sarnel-cli's offline commands.
#pragma once

#include <cstdio>
#include <string>

namespace sarnel::cli {

// Reads every byte of `file`, or of standard input when `file` is "" or "-". False, with the
// reason in `error`, when it cannot be read.
bool readinput(const std::string& file, std::string& bytes, std::string& error);

// Writes every byte of `text` to `out` (a NUL does not end it); false when the write fails.
bool writetext(std::FILE* out, const std::string& text);

// `text` with every CR LF written as a newline.
std::string withnewlines(const std::string& text);

}  // namespace sarnel::cli
