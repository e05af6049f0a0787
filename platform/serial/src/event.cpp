#include <serial/event.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace serial {

namespace {

// A thread waiting in waitAny: every event it waits for wakes it through here.
struct Waiter {
    std::mutex mutex;
    std::condition_variable cv;
    bool woken = false;

    void wake() {
        {
            std::lock_guard lock(mutex);
            woken = true;
        }
        cv.notify_all();
    }
};

}  // namespace

struct Event::State {
    std::mutex mutex;
    bool set = false;
    std::vector<Waiter*> waiters;
};

Event::Event() : state_(std::make_shared<State>()) {}

void Event::set() const {
    std::lock_guard lock(state_->mutex);
    if (state_->set) return;
    state_->set = true;
    for (Waiter* w : state_->waiters) w->wake();
}

void Event::reset() const {
    std::lock_guard lock(state_->mutex);
    state_->set = false;
}

bool Event::isSet() const {
    std::lock_guard lock(state_->mutex);
    return state_->set;
}

bool Event::wait(int ms) const {
    return waitAny({this}, ms) == 0;
}

int waitAny(std::initializer_list<const Event*> events, int ms) {
    Waiter waiter;
    auto firstSet = [&]() -> int {
        int i = 0;
        for (const Event* e : events) {
            if (e->isSet()) return i;
            ++i;
        }
        return -1;
    };
    for (const Event* e : events) {
        std::lock_guard lock(e->state()->mutex);
        e->state()->waiters.push_back(&waiter);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
    int found;
    for (;;) {
        found = firstSet();
        if (found >= 0) break;
        std::unique_lock lock(waiter.mutex);
        if (!waiter.woken) {
            if (ms < 0) {
                waiter.cv.wait(lock, [&] { return waiter.woken; });
            } else if (!waiter.cv.wait_until(lock, deadline, [&] { return waiter.woken; })) {
                lock.unlock();
                found = firstSet();
                break;
            }
        }
        waiter.woken = false;
    }
    for (const Event* e : events) {
        std::lock_guard lock(e->state()->mutex);
        auto& w = e->state()->waiters;
        w.erase(std::find(w.begin(), w.end(), &waiter));
    }
    return found;
}

}  // namespace serial
