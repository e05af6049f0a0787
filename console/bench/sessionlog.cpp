#include "console/bench/sessionlog.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "console/link/adapterlink.h"

namespace sarnel::bench {

namespace {

using std::chrono::microseconds;

// A CSV field: quoted when it holds a comma, a quote or a line break, quotes doubled.
std::string csvfield(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

// Lines ending in CR LF, each ended by `end` instead, with `indent` before it.
std::string relined(std::string_view lines, std::string_view indent, std::string_view end) {
    std::string out;
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t stop = lines.find("\r\n", start);
        const bool last = stop == std::string_view::npos;
        if (last) stop = lines.size();
        out += indent;
        out += lines.substr(start, stop - start);
        out += end;
        start = last ? lines.size() : stop + 2;
    }
    return out;
}

std::string milliseconds(microseconds us) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(us.count()) / 1000.0);
    return text;
}

}  // namespace

LogEntry SessionLog::sent(std::string_view frame) {
    return sent(frame, std::chrono::system_clock::now(), std::chrono::steady_clock::now());
}

LogEntry SessionLog::sent(std::string_view frame, std::chrono::system_clock::time_point at,
                          std::chrono::steady_clock::time_point mono) {
    return entry(Direction::Sent, txdform(std::string(frame)), {}, at, mono);
}

LogEntry SessionLog::received(std::string_view reply, std::string_view lines) {
    return received(reply, lines, std::chrono::system_clock::now(), std::chrono::steady_clock::now());
}

LogEntry SessionLog::received(std::string_view reply, std::string_view lines,
                              std::chrono::system_clock::time_point at,
                              std::chrono::steady_clock::time_point mono) {
    std::string raw = "!";
    raw.append(reply);
    raw.append("[cr]");
    return entry(Direction::Received, std::move(raw), lines, at, mono);
}

LogEntry SessionLog::entry(Direction direction, std::string raw, std::string_view lines,
                           std::chrono::system_clock::time_point at,
                           std::chrono::steady_clock::time_point mono) {
    LogEntry e;
    e.at = at;
    e.sincePrevious = first_ ? microseconds(0) : std::chrono::round<microseconds>(mono - previous_);
    e.direction = direction;
    e.raw = std::move(raw);
    e.lines = std::string(lines);
    first_ = false;
    previous_ = mono;
    return e;
}

std::string isotime(std::chrono::system_clock::time_point at) {
    const auto us = std::chrono::duration_cast<microseconds>(at.time_since_epoch()).count();
    std::time_t seconds = static_cast<std::time_t>(us / 1'000'000);
    long fraction = static_cast<long>(us % 1'000'000);
    if (fraction < 0) {
        fraction += 1'000'000;
        --seconds;
    }
    std::tm local{};
    localtime_r(&seconds, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    char zone[8];
    std::strftime(zone, sizeof zone, "%z", &local);  // +0100
    char text[64];
    std::snprintf(text, sizeof text, "%s.%06ld%.3s:%.2s", date, fraction, zone, zone + 3);
    return text;
}

std::string csvheader() {
    return "time,since_previous_ms,direction,raw,decoded\n";
}

const char* directionname(Direction direction) {
    switch (direction) {
        case Direction::Sent:
            return "sent";
        case Direction::Received:
            return "received";
        case Direction::Note:
            break;
    }
    return "note";
}

bool csvpath(const std::string& path) {
    const std::string tail = path.size() >= 4 ? path.substr(path.size() - 4) : "";
    return tail.size() == 4 && tail[0] == '.' && (tail[1] | 0x20) == 'c' && (tail[2] | 0x20) == 's' &&
           (tail[3] | 0x20) == 'v';
}

std::string csvrow(const LogEntry& e) {
    std::string decoded = relined(e.lines, "", "\n");
    if (!decoded.empty()) decoded.pop_back();  // separated, not ended
    return isotime(e.at) + "," + milliseconds(e.sincePrevious) + "," + directionname(e.direction) + "," +
           csvfield(e.raw) + "," + csvfield(decoded) + "\n";
}

std::string textentry(const LogEntry& e) {
    std::string time = isotime(e.at);
    time[10] = ' ';
    return time + "  +" + milliseconds(e.sincePrevious) + " ms  " +
           (e.direction == Direction::Sent       ? "> "
            : e.direction == Direction::Received ? "< "
                                                 : "* ") +
           e.raw + "\n" + relined(e.lines, "    ", "\n");
}

LogFile::~LogFile() {
    close();
}

bool LogFile::open(const std::string& path) {
    close();
    error_.clear();
    path_ = path;
    file_ = std::fopen(path.c_str(), "w");
    if (!file_) {
        error_ = "cannot write the log '" + path + "': " + std::strerror(errno);
        return false;
    }
    csv_ = csvpath(path);
    if (csv_) put(csvheader());
    return error_.empty();
}

void LogFile::write(const LogEntry& entry) {
    put(csv_ ? csvrow(entry) : textentry(entry));
}

void LogFile::put(const std::string& text) {
    if (!file_ || !error_.empty()) return;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fflush(file_) != 0)
        error_ = "cannot write the log '" + path_ + "': " + std::strerror(errno);
}

bool LogFile::close() {
    if (!file_) return error_.empty();
    if (std::fclose(file_) != 0 && error_.empty())
        error_ = "cannot write the log '" + path_ + "': " + std::strerror(errno);
    file_ = nullptr;
    return error_.empty();
}

}  // namespace sarnel::bench
