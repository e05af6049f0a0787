#include "console/bench/logbook.h"

#include "console/bench/savefile.h"

namespace sarnel::bench {

LogBook::LogBook(std::size_t limit) : limit_(limit == 0 ? 1 : limit) {}

void LogBook::sent(std::string_view frame) {
    add(timing_.sent(frame));
}

void LogBook::received(std::string_view reply, std::string_view lines) {
    add(timing_.received(reply, lines));
}

void LogBook::add(LogEntry entry) {
    if (entries_.size() >= limit_) {
        entries_.pop_front();
        ++dropped_;
        droppedAt_ = entry.at;
    }
    entries_.push_back(std::move(entry));
    ++added_;
}

void LogBook::clear() {
    entries_.clear();
    dropped_ = 0;
    timing_ = SessionLog{};
}

std::optional<LogEntry> LogBook::note() const {
    if (dropped_ == 0) return std::nullopt;
    LogEntry e;
    e.at = droppedAt_;
    e.direction = Direction::Note;
    e.raw = groupdigits(dropped_) + (dropped_ == 1 ? " older entry was" : " older entries were") +
            " dropped (the log keeps the latest " + groupdigits(limit_) + ")";
    return e;
}

std::string LogBook::text() const {
    std::string out;
    if (auto n = note()) out += textentry(*n);
    for (const LogEntry& e : entries_) out += textentry(e);
    return out;
}

std::string LogBook::csv() const {
    std::string out = csvheader();
    if (auto n = note()) out += csvrow(*n);
    for (const LogEntry& e : entries_) out += csvrow(e);
    return out;
}

bool LogBook::save(const std::string& path, std::string& error) const {
    const bool csv = csvpath(path);
    return savefile(
        path,
        [&](std::FILE* file) {
            auto put = [&](const std::string& text) {
                return std::fwrite(text.data(), 1, text.size(), file) == text.size();
            };
            if (csv && !put(csvheader())) return false;
            if (auto n = note(); n && !put(csv ? csvrow(*n) : textentry(*n))) return false;
            for (const LogEntry& e : entries_)
                if (!put(csv ? csvrow(e) : textentry(e))) return false;
            return true;
        },
        error);
}

std::string groupdigits(std::uint64_t number) {
    std::string digits = std::to_string(number);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<std::size_t>(i), ",");
    return digits;
}

}  // namespace sarnel::bench
