#include "console/bootloader/hexlines.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace sarnel::boot {

std::vector<std::string> splitlines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\n' && c != '\r') continue;
        lines.emplace_back(text, start, i - start);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text, start, text.size() - start);
    return lines;
}

HexLines readhexlines(const std::string& path) {
    HexLines result;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        result.refusal = "File not opened: " + path + " (a folder)";
        return result;
    }
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        const int err = errno;
        result.refusal =
            "File not opened: " + path + (err ? " (" + std::string(std::strerror(err)) + ")" : "");
        return result;
    }
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) {
        result.refusal = "File not read: " + path;
        return result;
    }
    if (text.empty()) {
        result.refusal = "File is empty, nothing sent: " + path;
        return result;
    }
    result.lines = splitlines(text);
    if (result.lines.size() > kMaxHexLines) {
        result.refusal = "File has " + std::to_string(result.lines.size()) + " lines, more than " +
                         std::to_string(kMaxHexLines) + ", nothing sent: " + path;
        result.lines.clear();
    }
    return result;
}

}  // namespace sarnel::boot
