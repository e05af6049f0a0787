#include <com/registry.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sysio/sysio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

namespace com {

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

// Drops empty components, so "HKCR\\a\" and "HKCR\a" are the same key.
std::string cleanPath(std::string_view path) {
    std::string out;
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t j = path.find('\\', i);
        if (j == std::string_view::npos) j = path.size();
        if (j > i) {
            if (!out.empty()) out += '\\';
            out.append(path.substr(i, j - i));
        }
        i = j + 1;
    }
    return out;
}

std::string quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

// Reads a quoted text at s[pos] ('"' there); advances pos past the closing quote.
bool unquote(std::string_view s, std::size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"') return false;
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        char c = s[pos];
        if (c == '\\') {
            if (++pos >= s.size()) return false;
            out += s[pos];
        } else if (c == '"') {
            ++pos;
            return true;
        } else {
            out += c;
        }
    }
    return false;
}

}  // namespace

std::string Registry::fold(std::string_view path) {
    std::string f = cleanPath(path);
    for (char& c : f) c = lower(c);
    return f;
}

bool Registry::hasKey(std::string_view path) const {
    return keys_.count(fold(path)) != 0;
}

void Registry::createKey(std::string_view path) {
    std::string clean = cleanPath(path);
    if (clean.empty()) return;
    std::size_t i = 0;
    for (;;) {
        std::size_t j = clean.find('\\', i);
        std::string prefix = clean.substr(0, j);
        std::string key = fold(prefix);
        if (!keys_.count(key)) keys_.emplace(key, Key{prefix, {}});
        if (j == std::string::npos) break;
        i = j + 1;
    }
}

bool Registry::deleteTree(std::string_view path) {
    std::string key = fold(path);
    auto it = keys_.find(key);
    if (it == keys_.end()) return false;
    std::string below = key + '\\';
    auto end = it;
    while (end != keys_.end() && (end == it || end->first.compare(0, below.size(), below) == 0)) ++end;
    keys_.erase(it, end);
    return true;
}

bool Registry::deleteKey(std::string_view path) {
    if (!hasKey(path) || !subkeys(path).empty()) return false;
    keys_.erase(fold(path));
    return true;
}

void Registry::setValue(std::string_view path, std::string_view name, RegValue v) {
    createKey(path);
    auto it = keys_.find(fold(path));
    if (it == keys_.end()) return;  // an empty path names no key
    for (auto& [n, old] : it->second.values)
        if (sameName(n, name)) {
            old = std::move(v);
            return;
        }
    it->second.values.emplace_back(std::string(name), std::move(v));
}

std::optional<RegValue> Registry::value(std::string_view path, std::string_view name) const {
    auto it = keys_.find(fold(path));
    if (it == keys_.end()) return std::nullopt;
    for (const auto& [n, v] : it->second.values)
        if (sameName(n, name)) return v;
    return std::nullopt;
}

std::optional<std::string> Registry::text(std::string_view path, std::string_view name) const {
    auto v = value(path, name);
    if (!v || v->type != RegValue::Type::String) return std::nullopt;
    return v->text;
}

bool Registry::deleteValue(std::string_view path, std::string_view name) {
    auto it = keys_.find(fold(path));
    if (it == keys_.end()) return false;
    auto& values = it->second.values;
    auto v =
        std::find_if(values.begin(), values.end(), [&](const auto& e) { return sameName(e.first, name); });
    if (v == values.end()) return false;
    values.erase(v);
    return true;
}

std::vector<std::string> Registry::subkeys(std::string_view path) const {
    std::string below = fold(path) + '\\';
    std::vector<std::string> out;
    for (auto it = keys_.lower_bound(below); it != keys_.end(); ++it) {
        if (it->first.compare(0, below.size(), below) != 0) break;
        if (it->first.find('\\', below.size()) == std::string::npos)
            out.push_back(it->second.path.substr(below.size()));
    }
    return out;
}

std::vector<std::string> Registry::valueNames(std::string_view path) const {
    std::vector<std::string> out;
    auto it = keys_.find(fold(path));
    if (it != keys_.end())
        for (const auto& e : it->second.values) out.push_back(e.first);
    return out;
}

std::vector<std::string> Registry::keys() const {
    std::vector<std::string> out;
    for (const auto& e : keys_) out.push_back(e.second.path);
    return out;
}

std::string Registry::print() const {
    std::string out = "; component registry: edit with care, a damaged file stops every registration\n";
    for (const auto& e : keys_) {
        out += "\n[" + e.second.path + "]\n";
        for (const auto& [name, v] : e.second.values) {
            out += name.empty() ? std::string("@") : quote(name);
            out += '=';
            if (v.type == RegValue::Type::String) {
                out += quote(v.text);
            } else {
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", v.dword);
                out += buf;
            }
            out += '\n';
        }
    }
    return out;
}

bool Registry::parse(std::string_view text, Registry& out, std::string* error) {
    Registry r;
    std::string current;  // the key the value lines belong to
    int lineNo = 0;
    auto fail = [&](const std::string& why) {
        if (error) *error = "line " + std::to_string(lineNo) + ": " + why;
        return false;
    };
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == ';' || line[first] == '#') continue;
        line = line.substr(first);
        if (line.front() == '[') {
            std::size_t close = line.rfind(']');
            if (close == std::string_view::npos ||
                line.find_first_not_of(" \t", close + 1) != std::string_view::npos)
                return fail("a key line must end with ']'");
            current = cleanPath(line.substr(1, close - 1));
            if (current.empty()) return fail("empty key path");
            r.createKey(current);
            continue;
        }
        if (current.empty()) return fail("a value before the first key");
        std::string name;
        std::size_t p = 0;
        if (line.front() == '@') {
            p = 1;
        } else if (!unquote(line, p, name)) {
            return fail("a value name must be @ or a quoted text");
        }
        if (p >= line.size() || line[p] != '=') return fail("'=' expected after the value name");
        ++p;
        std::string_view rest = line.substr(p);
        RegValue v;
        if (!rest.empty() && rest.front() == '"') {
            std::size_t q = 0;
            std::string s;
            if (!unquote(rest, q, s) || rest.find_first_not_of(" \t", q) != std::string_view::npos)
                return fail("unterminated or malformed text value");
            v = RegValue::string(std::move(s));
        } else if (rest.substr(0, 6) == "dword:") {
            std::string digits(rest.substr(6));
            while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\t')) digits.pop_back();
            if (digits.empty() || digits.size() > 8 ||
                digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return fail("a dword value needs 1 to 8 hexadecimal digits");
            v = RegValue::number(static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16)));
        } else {
            return fail("a value must be a quoted text or dword:XXXXXXXX");
        }
        r.setValue(current, name, std::move(v));
    }
    out = std::move(r);
    return true;
}

// ---------------------------------------------------------------------------------------------
// The file.

namespace {

struct RegistryFolder {
    std::mutex mutex;
    std::string named;      // by the program
    std::string suggested;  // by a module
};

RegistryFolder& registryFolder() {
    static RegistryFolder* folder = new RegistryFolder;  // never destroyed: static destructors may ask
    return *folder;
}

}  // namespace

void setRegistryFolder(const std::string& folder) {
    RegistryFolder& f = registryFolder();
    std::lock_guard lock(f.mutex);
    f.named = folder;
}

void suggestRegistryFolder(const std::string& folder) {
    RegistryFolder& f = registryFolder();
    std::lock_guard lock(f.mutex);
    f.suggested = folder;
}

std::string registryPath() {
    if (const char* p = std::getenv("COM_REGISTRY_FILE"); p && *p) return p;
    std::string folder;
    {
        RegistryFolder& f = registryFolder();
        std::lock_guard lock(f.mutex);
        folder = f.named.empty() ? f.suggested : f.named;
    }
    if (folder.empty()) return {};
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
        return std::string(x) + "/" + folder + "/registry";
    if (const char* h = std::getenv("HOME"); h && *h)
        return std::string(h) + "/.config/" + folder + "/registry";
    return folder + "-registry";
}

namespace {

HRESULT readFile(const std::string& path, Registry& out, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) {
            out = Registry{};
            return S_OK;
        }
        if (error) *error = path + ": " + std::strerror(errno);
        return REGDB_E_READREGDB;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        if (error) *error = path + ": read error";
        return REGDB_E_READREGDB;
    }
    std::string why;
    if (!Registry::parse(text.str(), out, &why)) {
        if (error) *error = path + " is damaged (" + why + "); it was left as it is";
        return REGDB_E_READREGDB;
    }
    return S_OK;
}

void makeParents(const std::string& path) {
    for (std::size_t i = 1; (i = path.find('/', i)) != std::string::npos; ++i)
        ::mkdir(path.substr(0, i).c_str(), 0700);
}

HRESULT writeFile(const std::string& path, const Registry& r, std::string* error) {
    std::string tmp = path + ".tmp." + std::to_string(::getpid());
    int fd = sysio::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const std::string text = r.print();
    bool ok = fd >= 0 && sysio::writeAll(fd, text.data(), text.size()) && ::fsync(fd) == 0;
    int savedErrno = errno;
    if (fd >= 0) ::close(fd);
    if (ok && ::rename(tmp.c_str(), path.c_str()) == 0) return S_OK;
    if (!ok) errno = savedErrno;
    if (error) *error = path + ": cannot write (" + std::strerror(errno) + ")";
    ::unlink(tmp.c_str());
    return REGDB_E_WRITEREGDB;
}

// Serialises writers of one registry file across processes; readers need no lock because
// the file is only ever replaced by rename.
class FileLock {
public:
    explicit FileLock(const std::string& path) {
        fd_ = sysio::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) sysio::flock(fd_, LOCK_EX);
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);  // releases the lock
    }
    bool held() const { return fd_ >= 0; }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

}  // namespace

HRESULT loadRegistry(Registry& out, std::string* error) {
    const std::string path = registryPath();
    if (path.empty()) {
        out = Registry{};
        return S_OK;
    }
    return readFile(path, out, error);
}

HRESULT updateRegistry(const std::function<HRESULT(Registry&)>& change, std::string* error) {
    const std::string path = registryPath();
    if (path.empty()) {
        if (error) *error = "no registry file: the program has not named one";
        return REGDB_E_WRITEREGDB;
    }
    makeParents(path);
    FileLock lock(path);
    if (!lock.held()) {
        if (error) *error = path + ".lock: " + std::strerror(errno);
        return REGDB_E_WRITEREGDB;
    }
    Registry r;
    if (HRESULT hr = readFile(path, r, error); failed(hr)) return hr;
    const std::string before = r.print();
    HRESULT hr = change(r);
    if (failed(hr)) return hr;
    if (r.print() == before) return hr;
    if (HRESULT w = writeFile(path, r, error); failed(w)) return w;
    return hr;
}

}  // namespace com
