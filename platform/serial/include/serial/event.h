// A manual-reset event: set stays set until reset, and wakes every waiter. Copies share one
// event. Waits block without polling.
#pragma once

#include <initializer_list>
#include <memory>

namespace serial {

class Event {
public:
    Event();  // not set

    void set() const;
    void reset() const;
    bool isSet() const;
    // Waits until the event is set; `ms` < 0 waits without limit. True when set.
    bool wait(int ms) const;

    bool operator==(const Event& o) const { return state_ == o.state_; }

    struct State;
    const std::shared_ptr<State>& state() const { return state_; }

private:
    std::shared_ptr<State> state_;
};

// Waits until one of `events` is set and returns its position (the first one set, in the order
// given); -1 when `ms` (>= 0) passed first. `ms` < 0 waits without limit.
int waitAny(std::initializer_list<const Event*> events, int ms);

}  // namespace serial
