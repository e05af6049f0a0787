#include "console/shell/settingsfile.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sysio/sysio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "console/base/alert.h"
#include "console/shell/helpdocs.h"

namespace sarnel {

namespace {

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return text;
}

ConsoleError fileError(int err) {
    return ConsoleError(fileerrornumber(err), std::strerror(err));
}

// A named pipe would block the program in open and a device or a folder is no settings file:
// only a regular file is read or replaced.
ConsoleError notRegular() {
    return ConsoleError(75, "not a regular file");
}

// Closes the descriptor when the scope ends.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// Where the file's bytes live: symbolic links followed to their last target, which need not
// exist yet, so that a save replaces the target and keeps the link.
std::string finaltarget(const std::string& path) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(p.c_str(), target.data(), target.size());
        if (n < 0) throw fileError(errno);
        target.resize(static_cast<std::size_t>(n));
        const std::size_t slash = p.rfind('/');
        if (!target.empty() && target[0] != '/' && slash != std::string::npos)
            target = p.substr(0, slash + 1) + target;
        p = target;
    }
    throw fileError(ELOOP);
}

void writeall(int fd, const std::string& text, off_t offset) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n =
            sysio::pwrite(fd, text.data() + done, text.size() - done, offset + static_cast<off_t>(done));
        if (n <= 0) throw fileError(n < 0 ? errno : EIO);
        done += static_cast<std::size_t>(n);
    }
}

// Rewrites the file in place, for a writable file in a folder where no new file can be made.
// The room is reserved and the process's file-size limit checked before the first byte
// changes, so that a full disk or a size limit fails the save with the old file whole.
void overwrite(const std::string& target, const std::string& text) {
    Descriptor file;
    file.fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file.fd < 0) throw fileError(errno);
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) throw fileError(errno);
    if (!S_ISREG(st.st_mode)) throw notRegular();
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        text.size() > limit.rlim_cur)
        throw fileError(EFBIG);
    if (const int err = ::posix_fallocate(file.fd, 0, static_cast<off_t>(text.size())); err != 0)
        throw fileError(err);
    writeall(file.fd, text, 0);
    if (::ftruncate(file.fd, static_cast<off_t>(text.size())) != 0 || ::fsync(file.fd) != 0)
        throw fileError(errno);
}

// Replaces the file at `path` (its links followed) with `text`: written to a new file beside
// the target and renamed over it, so that a failed write leaves the old file whole. The new
// file keeps the old one's permissions plus the owner's write permission; a new file gets
// the usual ones.
void writefile(const std::string& path, const std::string& text) {
    const std::string target = finaltarget(path);
    struct stat st {};
    const bool present = ::stat(target.c_str(), &st) == 0;
    if (present && !S_ISREG(st.st_mode)) throw notRegular();
    mode_t mode;
    if (present) {
        mode = (st.st_mode & 07777) | S_IWUSR;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary = folder + "." + base + ".XXXXXX";
    Descriptor file;
    file.fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (file.fd < 0) {
        const int err = errno;
        if (present && (err == EACCES || err == EPERM || err == EROFS) &&
            ::access(target.c_str(), F_OK) == 0) {
            if ((st.st_mode & S_IWUSR) == 0 && ::chmod(target.c_str(), mode) != 0) throw fileError(errno);
            overwrite(target, text);
            return;
        }
        throw fileError(err);
    }
    try {
        writeall(file.fd, text, 0);
        if (::fchmod(file.fd, mode) != 0 || ::fsync(file.fd) != 0) throw fileError(errno);
        const int fd = file.fd;
        file.fd = -1;
        if (::close(fd) != 0) throw fileError(errno);
        if (::rename(temporary.c_str(), target.c_str()) != 0) throw fileError(errno);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
}

// Opens the file for reading without blocking and refuses anything but a regular file.
int openregular(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) throw fileError(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        const bool regular = S_ISREG(st.st_mode);
        ::close(fd);
        if (regular) throw fileError(err);
        throw notRegular();
    }
    return fd;
}

void load(const std::string& path, SettingsLines& lines) {
    // A missing or empty file is made anew with two lines of one space.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 ? errno == ENOENT : S_ISREG(st.st_mode) && st.st_size == 0)
        writefile(path, " \r\n \r\n");
    Descriptor file;
    file.fd = openregular(path);
    // A line ends at CR LF, at a lone CR or at a lone LF, as the file may have been edited
    // elsewhere. Reading stops after line 100.
    std::string line;
    std::size_t n = 0;
    bool pending = false;
    bool afterCr = false;
    char chunk[8192];
    while (n < 100) {
        const ssize_t got = sysio::read(file.fd, chunk, sizeof chunk);
        if (got < 0) throw fileError(errno);
        if (got == 0) break;
        for (ssize_t i = 0; i < got && n < 100; ++i) {
            const char c = chunk[i];
            if (afterCr) {
                afterCr = false;
                if (c == '\n') continue;
            }
            pending = true;
            if (c == '\r' || c == '\n') {
                afterCr = c == '\r';
                lines[++n] = line;
                line.clear();
                pending = false;
                continue;
            }
            line += c;
        }
    }
    if (pending && n < 100) lines[++n] = line;
}

void save(const std::string& path, const SettingsLines& lines) {
    std::string text;
    for (std::size_t i = 1; i <= 100; ++i) {
        text += lines[i];
        text += "\r\n";
    }
    writefile(path, text);
}

}  // namespace

std::int32_t fileerrornumber(int err) {
    switch (err) {
        case EACCES:
        case EPERM:
        case EROFS:
        case EBUSY:
        case ETXTBSY:
            return 70;
        case ENOENT:
        case ENOTDIR:
            return 76;
        default:
            return 75;
    }
}

bool settingsfile(const std::string& mode, const std::string& path, SettingsLines& lines) {
    const std::string m = lower(mode);
    if (m != "load" && m != "save") return true;
    try {
        errno = 0;
        if (m == "load") {
            load(path, lines);
        } else {
            save(path, lines);
        }
        return true;
    } catch (const ConsoleError& error) {
        setRunTimeError(error.number(), error.description());
        std::string message = settingsalertmessage(path, error.description());
        ShowAlert(kSettingsAlertCaption, message, error.number(), 2, 12);
        return false;
    }
}

std::string settingsalertmessage(const std::string& path, const std::string& cause) {
    // The file may live in the user's configuration folder rather than beside the program:
    // the message names it.
    return std::string(kSettingsAlertMessage) + "\r\n\r\nSettings file: " + path +
           (cause.empty() ? "" : " (" + cause + ")");
}

std::string settingspath(const std::string& programFolder, const std::string& programName) {
    const std::string own = programFolder == "/" ? "" : programFolder;
    const std::string beside = own + "/" + programName + ".ini";
    // An installed program (its help documents in ../share/sarnel, not beside it) never writes
    // its own folder: run as root it could, and would leave a file in /usr/bin that no package
    // owns. A settings file already beside it stays in use.
    const bool installed =
        helpdocumentpath(programFolder, kHelpDocument) != own + "/" + helpdocumentname(kHelpDocument);
    if (::access(beside.c_str(), W_OK) == 0) return beside;
    if (!installed && ::access(programFolder.c_str(), W_OK) == 0) return beside;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.config";
    } else {
        return beside;
    }
    ::mkdir(base.c_str(), 0700);
    const std::string folder = base + "/sarnel";
    ::mkdir(folder.c_str(), 0700);
    return folder + "/" + programName + ".ini";
}

}  // namespace sarnel
