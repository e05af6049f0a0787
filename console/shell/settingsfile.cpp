#include "console/shell/settingsfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "console/base/alert.h"
#include "console/shell/basicutilities.h"
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

void load(const std::string& path, SettingsLines& lines) {
    struct stat st {};
    const bool exists = fileexists(path);
    if (!exists || (::stat(path.c_str(), &st) == 0 && st.st_size == 0)) {
        std::ofstream create(path, std::ios::binary | std::ios::trunc);
        if (!create) throw fileError(errno);
        create << " \r\n \r\n";
        if (!create.flush()) throw fileError(errno ? errno : EIO);
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) throw fileError(errno);
    // A line ends at CR LF, at a lone CR or at a lone LF, as the file may have been edited
    // elsewhere.
    std::string line;
    std::size_t n = 0;
    int c;
    bool pending = false;
    while (n < 100 && (c = in.get()) != EOF) {
        pending = true;
        if (c == '\r' || c == '\n') {
            if (c == '\r' && in.peek() == '\n') in.get();
            lines[++n] = line;
            line.clear();
            pending = false;
            continue;
        }
        line += static_cast<char>(c);
    }
    if (pending && n < 100) lines[++n] = line;
    if (in.bad()) throw fileError(EIO);
}

void save(const std::string& path, const SettingsLines& lines) {
    struct stat st {};
    if (fileexists(path) && ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0) {
        if (::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0) throw fileError(errno);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw fileError(errno);
    for (std::size_t i = 1; i <= 100; ++i) out << lines[i] << "\r\n";
    if (!out.flush()) throw fileError(errno ? errno : EIO);
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
        std::string message = kSettingsAlertMessage;
        ShowAlert(kSettingsAlertCaption, message, error.number(), 2, 12);
        return false;
    }
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
