#include <grp.h>
#include <serial/names.h>
#include <sys/stat.h>

#include <cstdlib>

namespace serial {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The device a folder entry leads to: its link followed to the end, or the entry itself when
// the link dangles (the device has gone) or cannot be followed.
std::string entryTarget(const std::string& entry) {
    char* real = ::realpath(entry.c_str(), nullptr);
    if (!real) return entry;
    std::string path = real;
    std::free(real);
    return path;
}

}  // namespace

int comNumber(std::string_view name) {
    constexpr std::size_t kMaxDigits = 9;  // the number fits an int
    if (name.size() < 4 || name.size() > 3 + kMaxDigits) return 0;
    if (lower(name[0]) != 'c' || lower(name[1]) != 'o' || lower(name[2]) != 'm' || name[3] == '0') return 0;
    int n = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

PortTarget resolvePort(std::string_view name, const NameSettings& settings) {
    const int com = comNumber(name);
    if (com > 0 && !settings.portDir.empty()) {
        const std::string entry = settings.portDir + "/COM" + std::to_string(com);
        struct stat st {};
        if (::lstat(entry.c_str(), &st) == 0) return {PortTarget::Kind::device, entryTarget(entry)};
    }
    if (!name.empty() && name[0] == '/') return {PortTarget::Kind::device, std::string(name)};
    // Remote ports (a URL) and remembered assignments will take their places here, before the
    // fixed table.
    if (com == 0) return {PortTarget::Kind::other, std::string(name)};
    if (com <= 32) return {PortTarget::Kind::device, "/dev/ttyS" + std::to_string(com - 1)};
    if (com <= 64) return {PortTarget::Kind::device, "/dev/ttyUSB" + std::to_string(com - 33)};
    if (com <= 96) return {PortTarget::Kind::device, "/dev/ttyACM" + std::to_string(com - 65)};
    return {PortTarget::Kind::none, std::string(name)};
}

std::string accessGroup(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP) || st.st_gid == 0) return {};
    group entry{};
    group* found = nullptr;
    char buffer[4096];
    if (::getgrgid_r(st.st_gid, &entry, buffer, sizeof buffer, &found) != 0 || !found) return {};
    return found->gr_name;
}

}  // namespace serial
