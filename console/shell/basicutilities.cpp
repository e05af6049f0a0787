#include "console/shell/basicutilities.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace sarnel {

namespace {

std::string programFile() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    return std::string(buffer, static_cast<std::size_t>(n));
}

}  // namespace

std::string apppath() {
    const std::string file = programFile();
    const std::size_t slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return file.substr(0, slash);
}

std::string appname() {
    std::string file = programFile();
    file = file.substr(file.rfind('/') + 1);
    const std::size_t dot = file.rfind('.');
    if (dot != std::string::npos && dot > 0) file.erase(dot);
    return file;
}

bool fileexists(const std::string& path) {
    if (path.empty()) return false;
    const char last = path.back();
    if (last == '/' || last == '\\' || static_cast<unsigned char>(last) < '0') return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    return S_ISREG(st.st_mode);
}

}  // namespace sarnel
