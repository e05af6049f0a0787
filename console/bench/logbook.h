// The console's session log in memory: the entries of SessionLog, kept in order up to a
// limit. Past it the oldest are dropped, and a note says how many; the note is the first
// entry of a saved or copied log. Saved and copied logs have the forms `sarnel-cli run --log`
// writes (sessionlog.h).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "console/bench/sessionlog.h"

namespace sarnel::bench {

class LogBook {
public:
    static constexpr std::size_t kDefaultLimit = 1'000'000;

    explicit LogBook(std::size_t limit = kDefaultLimit);

    // A frame written and a reply decoded, timed now (SessionLog::sent and received).
    void sent(std::string_view frame);
    void received(std::string_view reply, std::string_view lines);
    // Any entry; the oldest goes when the log is full.
    void add(LogEntry entry);
    // Empties the log (the note too); the next entry is timed as a first one.
    void clear();

    std::size_t size() const { return entries_.size(); }
    const LogEntry& at(std::size_t index) const { return entries_[index]; }
    std::size_t limit() const { return limit_; }
    // Every entry ever added has a number, from 0; the oldest kept is firstnumber(), and the
    // next one added gets endnumber(). A view follows the log by these.
    std::uint64_t firstnumber() const { return added_ - entries_.size(); }
    std::uint64_t endnumber() const { return added_; }
    std::uint64_t dropped() const { return dropped_; }
    // "1,234 older entries were dropped (the log keeps the latest 1,000,000)", dated at the
    // last drop; none while nothing was dropped.
    std::optional<LogEntry> note() const;

    // The whole log in the form the name asks for (CSV for ".csv", else text), the note
    // first. Written to a new file beside it that then replaces it, so a failed save leaves an
    // existing file whole. False with the reason in `error`.
    bool save(const std::string& path, std::string& error) const;
    // The whole log as text (the note first), for the clipboard.
    std::string text() const;
    std::string csv() const;

private:
    SessionLog timing_;
    std::deque<LogEntry> entries_;
    std::size_t limit_;
    std::uint64_t added_ = 0;
    std::uint64_t dropped_ = 0;
    std::chrono::system_clock::time_point droppedAt_{};
};

// 1234567 as "1,234,567".
std::string groupdigits(std::uint64_t number);

}  // namespace sarnel::bench
