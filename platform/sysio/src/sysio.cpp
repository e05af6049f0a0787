#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sysio/sysio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>

namespace sysio {

namespace {

std::atomic<Faults*> installed{nullptr};

// True, with errno set, when the test's faults fail this call before it runs.
bool injected(Call call, int fd) {
    Faults* f = installed.load(std::memory_order_acquire);
    if (!f) return false;
    int e = f->fail(call, fd);
    if (e == 0) return false;
    errno = e;
    return true;
}

std::size_t allowed(Call call, int fd, std::size_t count) {
    Faults* f = installed.load(std::memory_order_acquire);
    if (!f || count == 0) return count;
    // Never 0: a read of nothing would look like end-of-file.
    return std::clamp<std::size_t>(f->limit(call, fd, count), 1, count);
}

template <typename Result, typename Run>
Result retried(Call call, int fd, Run run) {
    for (;;) {
        Result r = injected(call, fd) ? Result(-1) : run();
        if (r >= 0 || errno != EINTR) return r;
    }
}

}  // namespace

std::size_t Faults::limit(Call, int, std::size_t count) {
    return count;
}

int Choppy::fail(Call, int) {
    if (flip_.fetch_xor(1) == 0) return 0;
    ++interrupted_;
    return EINTR;
}

void setFaults(Faults* faults) {
    installed.store(faults, std::memory_order_release);
}

int open(const char* path, int flags, mode_t mode) {
    return retried<int>(Call::open, -1, [&] { return ::open(path, flags, mode); });
}

ssize_t read(int fd, void* buffer, std::size_t count) {
    return retried<ssize_t>(Call::read, fd,
                            [&] { return ::read(fd, buffer, allowed(Call::read, fd, count)); });
}

ssize_t write(int fd, const void* buffer, std::size_t count) {
    return retried<ssize_t>(Call::write, fd,
                            [&] { return ::write(fd, buffer, allowed(Call::write, fd, count)); });
}

ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) {
    return retried<ssize_t>(Call::write, fd,
                            [&] { return ::pwrite(fd, buffer, allowed(Call::write, fd, count), offset); });
}

int ioctl(int fd, unsigned long request, void* arg) {
    return retried<int>(Call::ioctl, fd, [&] { return ::ioctl(fd, request, arg); });
}

int flock(int fd, int operation) {
    return retried<int>(Call::flock, fd, [&] { return ::flock(fd, operation); });
}

int poll(pollfd* fds, std::size_t count, int timeoutMs) {
    if (timeoutMs < 0) return pollUntil(fds, count, std::nullopt);
    return pollUntil(fds, count, std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs));
}

int pollUntil(pollfd* fds, std::size_t count, std::optional<std::chrono::steady_clock::time_point> deadline) {
    const int first = count ? fds[0].fd : -1;
    return retried<int>(Call::poll, first, [&] {
        timespec left{};
        if (deadline) {
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::max(*deadline - std::chrono::steady_clock::now(),
                                         std::chrono::steady_clock::duration::zero()))
                                .count();
            left.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            left.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        }
        return ::ppoll(fds, static_cast<nfds_t>(count), deadline ? &left : nullptr, nullptr);
    });
}

void signalEvent(int eventFd) {
    const std::uint64_t one = 1;
    // Fails only when the count is full, and a full count wakes the waiter all the same.
    retried<ssize_t>(Call::write, eventFd, [&] { return ::write(eventFd, &one, sizeof one); });
}

void drainEvent(int eventFd) {
    std::uint64_t count;
    retried<ssize_t>(Call::read, eventFd, [&] { return ::read(eventFd, &count, sizeof count); });
}

bool writeAll(int fd, const void* buffer, std::size_t count) {
    const auto* p = static_cast<const char*>(buffer);
    while (count > 0) {
        const ssize_t n = sysio::write(fd, p, count);
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;  // nothing moved and nothing said why: do not spin
            return false;
        }
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace sysio
