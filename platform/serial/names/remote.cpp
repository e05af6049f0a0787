#include <serial/names.h>

#include <cctype>

namespace serial {

namespace {

// The scheme of a remote name, matched in any case; empty when there is none.
std::string_view scheme(std::string_view name) {
    for (std::string_view s : {std::string_view("rfc2217://"), std::string_view("socket://")}) {
        if (name.size() < s.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < s.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(name[i])) == s[i];
        if (same) return s;
    }
    return {};
}

bool hostCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

}  // namespace

std::string RemoteAddress::where() const {
    return host + " port " + port;
}

bool isRemoteName(std::string_view name) {
    return !scheme(name).empty();
}

std::optional<RemoteAddress> parseRemote(std::string_view name) {
    const std::string_view s = scheme(name);
    if (s.empty()) return std::nullopt;
    RemoteAddress a;
    a.comPortControl = s[0] == 'r';
    std::string_view rest = name.substr(s.size());
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);  // "rfc2217://h:1/" as typed
    std::size_t colon;
    if (!rest.empty() && rest[0] == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return std::nullopt;
        a.host = std::string(rest.substr(1, close - 1));
        for (char c : a.host) {
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return std::nullopt;
        }
        colon = close + 1;
    } else {
        colon = rest.rfind(':');
        if (colon == std::string_view::npos) return std::nullopt;
        a.host = std::string(rest.substr(0, colon));
        for (char c : a.host) {
            if (!hostCharacter(c)) return std::nullopt;
        }
    }
    if (a.host.empty()) return std::nullopt;
    const std::string_view port = rest.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port[0] == '0') return std::nullopt;
    long number = 0;
    for (char c : port) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    if (number > 65535) return std::nullopt;
    a.port = std::string(port);
    return a;
}

}  // namespace serial
