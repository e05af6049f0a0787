#include "console/cli/input.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sarnel::cli {

bool readinput(const std::string& file, std::string& bytes, std::string& error) {
    const bool standardInput = file.empty() || file == "-";
    std::FILE* in = standardInput ? stdin : std::fopen(file.c_str(), "rb");
    if (in == nullptr) {
        error = "cannot open '" + file + "': " + std::strerror(errno);
        return false;
    }
    bytes.clear();
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) bytes.append(chunk, n);
    const bool failed = std::ferror(in) != 0;
    const int cause = errno;
    if (!standardInput) std::fclose(in);
    if (failed) {
        error = "cannot read '" + (standardInput ? std::string("standard input") : file) +
                "': " + std::strerror(cause);
        return false;
    }
    return true;
}

bool writetext(std::FILE* out, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), out) == text.size();
}

std::string withnewlines(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace sarnel::cli
