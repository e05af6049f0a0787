#include "console/command/collection.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "console/base/consoleerror.h"

namespace sarnel {

namespace {

constexpr std::int32_t kFileNotFound = 53;
constexpr std::int32_t kDeviceIoError = 57;
constexpr std::int32_t kPermissionDenied = 70;
constexpr std::int32_t kPathFileAccessError = 75;
constexpr std::int32_t kPathNotFound = 76;

std::int32_t fileErrorNumber(int error) {
    switch (error) {
        case ENOENT:
            return kFileNotFound;
        case EACCES:
        case EPERM:
            return kPermissionDenied;
        case ENOTDIR:
            return kPathNotFound;
        case EISDIR:
        case ELOOP:
        case ENAMETOOLONG:
            return kPathFileAccessError;
        default:
            return kDeviceIoError;
    }
}

[[noreturn]] void fail(int error, const std::string& path) {
    throw ConsoleError(fileErrorNumber(error), std::string(std::strerror(error)) + ": " + path);
}

}  // namespace

Collection parseCollection(std::string_view text) {
    Collection collection;
    std::string* current = &collection.preamble;
    bool skipping = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end;
        if (pos < text.size())
            pos += (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;

        if (!line.empty() && line.front() == ';') {
            if (static_cast<int>(collection.scripts.size()) == kMaxCollectionScripts) {
                ++collection.leftOut;
                skipping = true;
                continue;
            }
            collection.scripts.emplace_back(line);
            current = &collection.scripts.back();
        } else if (!skipping) {
            current->append("\r\n");
            current->append(line);
        }
    }
    return collection;
}

Collection readCollection(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) fail(errno, path);
    std::string text;
    char buffer[65536];
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
        text.append(buffer, n);
        if (n < sizeof buffer) {
            // A folder opens on Linux but fails on the first read (EISDIR).
            if (std::ferror(file.get())) fail(errno ? errno : EIO, path);
            break;
        }
    }
    return parseCollection(text);
}

}  // namespace sarnel
