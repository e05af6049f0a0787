#include "console/link/adapterlink.h"

#include <string_view>
#include <utility>

#include "console/base/alert.h"
#include "console/base/textroutines.h"
#include "console/base/timing.h"
#include "console/command/compiler.h"
#include "console/responses/decoder.h"
#include "console/responses/receivepath.h"

namespace sarnel {

namespace {

// The view's activity list, with every reply also told to the watcher.
class WatchedActivity final : public BusActivity {
public:
    WatchedActivity(BusActivity& list, LinkWatcher& watcher) : list_(list), watcher_(watcher) {}
    void clear() override { list_.clear(); }
    void append(std::string_view text) override { list_.append(text); }
    void setRxd(std::string_view text) override { list_.setRxd(text); }
    bool continuousRx() override { return list_.continuousRx(); }
    void replied(std::string_view reply, std::string_view lines) override {
        list_.replied(reply, lines);
        watcher_.replied(reply, lines);
    }

private:
    BusActivity& list_;
    LinkWatcher& watcher_;
};

}  // namespace

std::string txdform(const std::string& text) {
    auto endsWith = [&](const char* tail, std::size_t n) {
        return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
    };
    if (endsWith("\r\n", 2)) return text.substr(0, text.size() - 2) + "[nl]";
    if (endsWith("\r", 1)) return text.substr(0, text.size() - 1) + "[cr]";
    if (endsWith("\n", 1)) return text.substr(0, text.size() - 1) + "[lf]";
    return text;
}

AdapterLink::AdapterLink(ConsoleView& view, SerialControl& rs232, ConsoleState& state,
                         std::function<void()> lost)
    : view_(view), rs232_(rs232), state_(state), lost_(std::move(lost)) {}

void AdapterLink::drop() {
    if (lost_) lost_();
    rs232_.close();
    state_.portopen = 0;
}

void AdapterLink::ComWrite(const std::string& text, std::int16_t wait) {
    try {
        processEvents();
        view_.setTxd("");
        view_.setTxd(txdform(text));
        if (state_.portopen == 0) {
            view_.setRxd("[No port is selected]");
            return;
        }
        // The control reports a break it has seen as true (-1, or 1 from some hosts); clear it.
        if (rs232_.getBreak() != 0) rs232_.setBreak(0);
        view_.setRxd(" ");
        view_.setRxd("");
        state_.rxbuffer.clear();
        processEvents();
        rs232_.write(text, 0, 100);
        if (watcher_) watcher_->sent(text);
    } catch (const ConsoleError& error) {
        reportError("ComWrite error", error, 2, 0);
        drop();
        return;
    }
    if (wait > 0) waithundredths(wait);
}

void AdapterLink::charreceived() {
    // An event that was already on its way when the port was closed (a rescan, "Select...",
    // "Update") has nothing to read; reading a closed control would raise a false alarm.
    if (!rs232_.isOpen()) return;
    try {
        state_.rxbuffer += rs232_.read();
    } catch (const ConsoleError& error) {
        reportError("Veskor error", error, 2, 12);
        drop();
        return;
    }
    if (watcher_) {
        WatchedActivity activity(view_.activity(), *watcher_);
        process(kProcessAll, "", activity, state_.rxbuffer);
    } else {
        process(kProcessAll, "", view_.activity(), state_.rxbuffer);
    }
    caprxbuffer(state_.rxbuffer);
}

void AdapterLink::compile() {
    BusActivity& activity = view_.activity();
    if (!activity.continuousRx()) activity.clear();
    std::string script = view_.queueText();
    const std::string frame = scriptprocessor(script);
    if (frame.empty()) return;
    view_.setTokenCount(
        std::to_string(static_cast<long long>(hextonum(std::string_view(frame).substr(5, 2)))));
    ComWrite(frame, 1);
}

}  // namespace sarnel
