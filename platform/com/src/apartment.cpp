#include <com/apartment.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sysio/sysio.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <mutex>
#include <thread>

namespace com {

class Apartment {
public:
    Apartment() : owner_(std::this_thread::get_id()), wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~Apartment() {
        if (wake_ >= 0) ::close(wake_);
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;

    bool post(std::function<void()> call) {
        {
            std::lock_guard lock(mutex_);
            if (!open_) return false;
            calls_.push_back(std::move(call));
        }
        signal();
        return true;
    }

    // Leaves the apartment: drops what waits, refuses what comes.
    void shut() {
        std::deque<std::function<void()>> dropped;
        {
            std::lock_guard lock(mutex_);
            open_ = false;
            dropped.swap(calls_);
        }
        // `dropped` is destroyed here, outside the lock: a call's captures may post elsewhere.
    }

    std::size_t serve() {
        drain();
        std::size_t waiting;
        {
            std::lock_guard lock(mutex_);
            waiting = calls_.size();
        }
        std::size_t ran = 0;
        while (ran < waiting) {
            std::function<void()> call;
            {
                std::lock_guard lock(mutex_);
                if (calls_.empty()) break;
                call = std::move(calls_.front());
                calls_.pop_front();
            }
            call();
            ++ran;
        }
        std::lock_guard lock(mutex_);
        if (!calls_.empty()) signal();  // posted meanwhile: keep the descriptor readable
        return ran;
    }

    bool pending() {
        std::lock_guard lock(mutex_);
        return !calls_.empty();
    }

    int wakeDescriptor() const { return wake_; }
    std::thread::id owner() const { return owner_; }

private:
    void signal() { sysio::signalEvent(wake_); }
    void drain() { sysio::drainEvent(wake_); }

    const std::thread::id owner_;
    const int wake_;
    std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
    bool open_ = true;
};

namespace {

struct ThreadState {
    ApartmentRef apartment;
    int depth = 0;
    ~ThreadState() {
        if (apartment) apartment->shut();
    }
};

thread_local ThreadState state;

}  // namespace

HRESULT initializeApartment() {
    if (state.depth++ > 0) return S_FALSE;
    state.apartment = std::make_shared<Apartment>();
    if (state.apartment->wakeDescriptor() < 0) {
        state.apartment.reset();
        state.depth = 0;
        return E_UNEXPECTED;
    }
    return S_OK;
}

void uninitializeApartment() {
    if (state.depth == 0) return;
    if (--state.depth == 0) {
        state.apartment->shut();
        state.apartment.reset();
    }
}

ApartmentRef currentApartment() {
    return state.apartment;
}

bool post(const ApartmentRef& apartment, std::function<void()> call) {
    return apartment && apartment->post(std::move(call));
}

bool isCurrent(const ApartmentRef& apartment) {
    return apartment && apartment->owner() == std::this_thread::get_id() && apartment == state.apartment;
}

int apartmentWakeDescriptor() {
    return state.apartment ? state.apartment->wakeDescriptor() : -1;
}

std::size_t serveApartment() {
    // Hold a reference: a call may leave the apartment while it runs.
    ApartmentRef apartment = state.apartment;
    return apartment ? apartment->serve() : 0;
}

bool waitApartment(std::chrono::steady_clock::time_point deadline) {
    ApartmentRef apartment = state.apartment;
    if (!apartment) {
        std::this_thread::sleep_until(deadline);
        return false;
    }
    for (;;) {
        if (apartment->pending()) return true;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{apartment->wakeDescriptor(), POLLIN, 0};
        int ms = left.count() > 1000000 ? 1000000 : static_cast<int>(left.count());
        if (sysio::poll(&p, 1, ms) < 0) return apartment->pending();
    }
}

}  // namespace com
