#include "packaging_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace packtest {

namespace {

std::string folder(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') {
        ADD_FAILURE() << variable << " is not set (the build sets it for this test)";
        return "/nonexistent";
    }
    return value;
}

}  // namespace

std::string source(const std::string& relative) {
    return folder("SARNEL_SOURCE_DIR") + "/" + relative;
}

std::string program(const std::string& name) {
    return folder("SARNEL_BIN_DIR") + "/" + name;
}

std::string readtext(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Output sh(const std::string& command) {
    Output out;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return out;
    }
    std::array<char, 4096> chunk;
    std::size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) out.text.append(chunk.data(), n);
    const int status = ::pclose(pipe);
    out.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::string quoted(const std::string& text) {
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::set<std::string> longoptions(const std::string& text) {
    auto word = [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; };
    std::set<std::string> found;
    for (std::size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2)) {
        if (at > 0 && word(text[at - 1])) continue;  // inside a longer word
        if (at + 2 >= text.size() || text[at + 2] < 'a' || text[at + 2] > 'z') continue;
        std::size_t end = at + 2;
        while (end < text.size() && word(text[end])) ++end;
        while (text[end - 1] == '-') --end;
        found.insert(text.substr(at, end - at));
        at = end - 2;
    }
    return found;
}

}  // namespace packtest
