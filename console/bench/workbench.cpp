#include "console/bench/workbench.h"

#include <algorithm>

namespace sarnel::bench {

Workbench::Workbench(AdapterLink& link, ConsoleState& state, std::size_t logLimit)
    : link_(link), state_(state), log_(logLimit) {
    link_.watch(this);
}

Workbench::~Workbench() {
    if (link_.watcher() == this) link_.watch(nullptr);
}

void Workbench::listen(ReplyListener* listener) {
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void Workbench::forget(ReplyListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

bool Workbench::send(const std::string& frame) {
    if (state_.portopen == 0) return false;
    link_.ComWrite(frame, 0);
    return state_.portopen != 0;
}

void Workbench::sent(const std::string& frame) {
    timer_.sent(Clock::now());
    if (logging_) log_.sent(frame);
    if (onchange) onchange();
}

void Workbench::replied(std::string_view reply, std::string_view lines) {
    const Clock::time_point now = Clock::now();
    timer_.replied(now);
    if (logging_) log_.received(reply, lines);
    // A copy: a listener may be taken away by what another one sets off.
    const std::vector<ReplyListener*> listeners = listeners_;
    for (ReplyListener* l : listeners)
        if (std::find(listeners_.begin(), listeners_.end(), l) != listeners_.end()) l->replied(reply, now);
    if (onchange) onchange();
}

}  // namespace sarnel::bench
