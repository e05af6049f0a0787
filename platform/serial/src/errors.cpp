#include "errors.h"

#include <cerrno>
#include <cstring>

namespace serial {

const char* codeName(Code code) {
    switch (code) {
        case Code::ok:
            return "ok";
        case Code::pending:
            return "pending";
        case Code::incomplete:
            return "incomplete";
        case Code::cancelled:
            return "cancelled";
        case Code::hungUp:
            return "hung up";
        case Code::notSupported:
            return "not supported";
        case Code::invalidArgument:
            return "invalid argument";
        case Code::busy:
            return "busy";
        case Code::notFound:
            return "not found";
        case Code::accessDenied:
            return "access denied";
        case Code::failed:
            return "failed";
    }
    return "?";
}

Code codeForErrno(int error) {
    switch (error) {
        case 0:
            return Code::ok;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return Code::notFound;
        case EACCES:
        case EPERM:
            return Code::accessDenied;
        case EBUSY:
        case EWOULDBLOCK:
            return Code::busy;
        case EIO:
            return Code::hungUp;
        case ENOTTY:
        case EINVAL:
            return Code::notSupported;
        default:
            return Code::failed;
    }
}

Failure systemFailure(int error, const std::string& path) {
    Failure f{codeForErrno(error), error, path, {}, {}, {}};
    if (f.code == Code::accessDenied) f.group = accessGroup(path);
    return f;
}

std::string Failure::cause() const {
    std::string what;
    if (!detail.empty()) return path.empty() ? detail : path + ": " + detail;
    switch (code) {
        case Code::notFound:
            what = "no such device";
            if (!ownName.empty()) what += " (the port there is " + ownName + " now)";
            break;
        case Code::accessDenied:
            what = "permission denied";
            if (!group.empty()) what += " (the device belongs to the group " + group + ")";
            break;
        case Code::busy:
            what = "busy (already in use)";
            break;
        case Code::notSupported:
            what = error == ENOTTY ? "not a serial port" : "not supported";
            break;
        case Code::hungUp:
            what = "the device went away";
            break;
        default:
            what = error ? std::strerror(error) : codeName(code);
            break;
    }
    return path.empty() ? what : path + ": " + what;
}

}  // namespace serial
