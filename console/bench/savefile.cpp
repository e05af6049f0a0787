#include "console/bench/savefile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sarnel::bench {

bool savefile(const std::string& path, const std::function<bool(std::FILE*)>& write, std::string& error) {
    auto fail = [&](int number) {
        error = "cannot save '" + path + "': " + std::strerror(number != 0 ? number : EIO);
        return false;
    };
    const std::size_t slash = path.rfind('/');
    std::string temp =
        (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".sarnel-save.XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return fail(errno);
    std::FILE* file = fdopen(fd, "w");
    if (!file) {
        const int e = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        return fail(e);
    }
    errno = 0;
    int e = 0;
    if (!write(file) || std::ferror(file)) e = errno != 0 ? errno : EIO;
    if (std::fflush(file) != 0 && e == 0) e = errno;
    if (e == 0 && fsync(fileno(file)) != 0) e = errno;
    // mkstemp makes the file private; a saved log is an ordinary file.
    const mode_t mask = umask(0);
    umask(mask);
    if (e == 0 && fchmod(fileno(file), 0666 & ~mask) != 0) e = errno;
    if (std::fclose(file) != 0 && e == 0) e = errno;
    if (e == 0 && std::rename(temp.c_str(), path.c_str()) != 0) e = errno;
    if (e != 0) {
        ::unlink(temp.c_str());
        return fail(e);
    }
    return true;
}

}  // namespace sarnel::bench
