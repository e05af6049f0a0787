#include <serial/device.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "backends.h"

namespace serial {

std::string resolvePortName(std::string_view name) {
    std::string n(name);
    if (!n.empty() && n[0] == '/') return n;
    bool com = n.size() > 3 && (n[0] == 'C' || n[0] == 'c') && (n[1] == 'O' || n[1] == 'o') &&
               (n[2] == 'M' || n[2] == 'm') && n.find_first_not_of("0123456789", 3) == std::string::npos &&
               n.size() <= 6;
    if (!com) return n;
    if (const char* dir = std::getenv("VESKOR_PORT_DIR"); dir && *dir) {
        std::string link = std::string(dir) + "/COM" + n.substr(3);
        struct stat st;
        if (::lstat(link.c_str(), &st) == 0) return link;
    }
    int number = std::stoi(n.substr(3));
    if (number >= 1 && number <= 32) return "/dev/ttyS" + std::to_string(number - 1);
    if (number >= 33 && number <= 64) return "/dev/ttyUSB" + std::to_string(number - 33);
    if (number >= 65 && number <= 96) return "/dev/ttyACM" + std::to_string(number - 65);
    return n;  // no device of that number; opening it finds nothing
}

std::unique_ptr<Device> openDevice(const std::string& path, Code* why) {
    Code pairWhy = Code::notFound;
    if (auto end = openPairEnd(path, &pairWhy)) {
        if (why) *why = Code::ok;
        return end;
    }
    if (pairWhy == Code::busy) {
        if (why) *why = Code::busy;
        return nullptr;
    }
    if (path.empty() || path[0] != '/') {
        if (why) *why = Code::notFound;
        return nullptr;
    }
    return openTermios(path, why);
}

}  // namespace serial
