// The session log: every frame sent and every reply received, with the wall-clock time, the
// time since the entry before, the direction, the raw text and the decoded lines. It is
// written as CSV or as text; `sarnel-cli run --log` writes it, and the session log window
// shows and saves the same entries.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace sarnel::bench {

// Note: a line of the log's own (entries dropped to keep within its limit), not bus traffic.
enum class Direction { Sent, Received, Note };

struct LogEntry {
    std::chrono::system_clock::time_point at;    // the wall clock
    std::chrono::microseconds sincePrevious{0};  // on the monotonic clock; 0 for the first
    Direction direction = Direction::Sent;
    // As the TXD and RXD windows show them: "$00100500019004[cr]", "!0010sW90ap[cr]".
    std::string raw;
    std::string lines;  // the bus activity lines a reply added, each ending in CR LF; "" for a frame
};

// Makes the entries in order, timing each against the one before.
class SessionLog {
public:
    // `frame` as written (ending in CR); the times are now unless given.
    LogEntry sent(std::string_view frame);
    LogEntry sent(std::string_view frame, std::chrono::system_clock::time_point at,
                  std::chrono::steady_clock::time_point mono);
    // `reply` without "!" and CR, and the lines the decoder added for it.
    LogEntry received(std::string_view reply, std::string_view lines);
    LogEntry received(std::string_view reply, std::string_view lines,
                      std::chrono::system_clock::time_point at, std::chrono::steady_clock::time_point mono);

private:
    LogEntry entry(Direction direction, std::string raw, std::string_view lines,
                   std::chrono::system_clock::time_point at, std::chrono::steady_clock::time_point mono);
    bool first_ = true;
    std::chrono::steady_clock::time_point previous_{};
};

// The wall-clock time in local time, ISO 8601 to the microsecond with the offset from UTC:
// "2026-12-08T16:15:55.123456+01:00".
std::string isotime(std::chrono::system_clock::time_point at);

// CSV (RFC 4180 quoting, lines ending in LF): the header "time,since_previous_ms,direction,
// raw,decoded" and one row per entry; the decoded lines are separated by LF inside their
// quoted field.
std::string csvheader();
std::string csvrow(const LogEntry& entry);
// The direction as the CSV's third field: "sent", "received", "note".
const char* directionname(Direction direction);
// Text: one line per entry, "TIME  +MS ms  > RAW" (">" sent, "<" received, "*" a note), the
// decoded lines below it, indented by four spaces.
std::string textentry(const LogEntry& entry);

// True when `path` names a CSV file: it ends in ".csv" (any letter case).
bool csvpath(const std::string& path);

// A log file that takes the entries as they come: CSV when its name ends in ".csv" (any
// letter case), text otherwise. Each entry is flushed, so a run that is interrupted or loses
// its adapter keeps everything before.
class LogFile {
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Creates (or empties) the file; false with the reason in error() when it cannot.
    bool open(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }
    // Appends the entry; after a failed write error() says why and later entries are dropped.
    void write(const LogEntry& entry);
    // Closes the file; false when anything could not be written.
    bool close();
    const std::string& error() const { return error_; }

private:
    void put(const std::string& text);
    std::FILE* file_ = nullptr;
    bool csv_ = false;
    std::string path_;
    std::string error_;
};

}  // namespace sarnel::bench
