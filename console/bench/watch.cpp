#include "console/bench/watch.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "console/bench/transfer.h"

namespace sarnel::bench {

Watch::Watch(WatchSettings settings, BenchPort& port) : settings_(std::move(settings)), port_(port) {}

void Watch::start(Clock::time_point now) {
    if (stopped_) return;
    if (!started_) {
        started_ = true;
        origin_ = now;
    }
    paused_ = false;
    runsBefore_ = runs_;
    RepeatSettings repeat;
    repeat.count = 0;
    repeat.interval = settings_.interval;
    repeat.timeout = settings_.timeout;
    run_ = std::make_unique<RepeatRun>(settings_.frame, repeat, port_);
    run_->ontimeout = [this] {
        ++timeouts_;
        message_ = "No answer within " + std::to_string(settings_.timeout.count()) + " ms";
    };
    run_->start(now);
}

void Watch::replied(std::string_view reply, Clock::time_point now) {
    if (!run_) return;
    const std::uint64_t answered = run_->summary().replies;
    run_->replied(reply, now);
    if (run_->summary().replies != answered) answer(reply, now);
}

void Watch::answer(std::string_view reply, Clock::time_point now) {
    const std::optional<double> value = pickvalue(readbytes(reply), settings_.pick);
    if (!value) {
        ++unreadable_;
        message_ = "The answer read no byte " + std::to_string(settings_.pick.offset + 1) +
                   (settings_.pick.width == 2 ? " and " + std::to_string(settings_.pick.offset + 2) : "") +
                   " (a device that did not acknowledge?)";
        return;
    }
    message_.clear();
    const WatchPoint point{std::chrono::duration<double>(now - origin_).count(), *value};
    if (points_.empty()) {
        min_ = max_ = point.value;
    } else {
        min_ = std::min(min_, point.value);
        max_ = std::max(max_, point.value);
    }
    points_.push_back(point);
    if (onpoint) onpoint(point);
}

void Watch::poll(Clock::time_point now) {
    if (!run_) return;
    run_->poll(now);
    runs_ = runsBefore_ + run_->summary().runs;
    if (run_->outcome() == RepeatRun::Outcome::NotSent)
        stop("Stopped: the script could not be sent (the port is closed; was the adapter unplugged?)");
}

Clock::time_point Watch::wakeup() const {
    return run_ ? run_->wakeup() : Clock::time_point::max();
}

void Watch::pause() {
    if (!run_) return;
    runs_ = runsBefore_ + run_->summary().runs;
    run_.reset();
    paused_ = true;
}

void Watch::resume(Clock::time_point now) {
    if (stopped_ || !paused_) return;
    start(now);
}

void Watch::stop(std::string message) {
    if (stopped_) return;
    if (run_) runs_ = runsBefore_ + run_->summary().runs;
    run_.reset();
    stopped_ = true;
    paused_ = false;
    message_ = std::move(message);
    if (onstopped) onstopped();
}

std::optional<double> Watch::min() const {
    if (points_.empty()) return std::nullopt;
    return min_;
}
std::optional<double> Watch::max() const {
    if (points_.empty()) return std::nullopt;
    return max_;
}
std::optional<double> Watch::last() const {
    if (points_.empty()) return std::nullopt;
    return points_.back().value;
}

std::string Watch::csv() const {
    std::string out = "seconds,value\n";
    char row[64];
    for (const WatchPoint& p : points_) {
        std::snprintf(row, sizeof row, "%.3f,%.10g\n", p.seconds, p.value);
        out += row;
    }
    return out;
}

namespace {

std::optional<double> number(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    if (text.front() == '+') text.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace

std::optional<double> parsescale(std::string_view text, std::string& why) {
    const std::size_t slash = text.find('/');
    std::optional<double> value;
    if (slash == std::string_view::npos) {
        value = number(text);
    } else {
        const std::optional<double> top = number(text.substr(0, slash));
        const std::optional<double> bottom = number(text.substr(slash + 1));
        if (top && bottom && *bottom != 0) value = *top / *bottom;
    }
    if (!value || *value == 0 || !std::isfinite(*value)) {
        why = "a number or a fraction other than 0, such as 0.5 or 1/256, not '" + std::string(text) + "'";
        return std::nullopt;
    }
    return value;
}

}  // namespace sarnel::bench
