// System calls that a signal can interrupt, retried here and nowhere else.
//
// Each call behaves as its namesake, except that an interruption (EINTR) never reaches the
// caller: the call is made again, and a wait resumes with the time that is left. Every other
// result is returned as the system gave it, short transfers included: a read may move fewer
// bytes than asked, and only writeAll carries on after a short write.
//
// There is no close(): Linux releases the descriptor even when close reports EINTR, so a retry
// could close a descriptor that another thread has just been given.
//
// Tests reach every call through one seam (setFaults): they make calls fail, be interrupted or
// move fewer bytes, without signals and without timing luck.
#pragma once

#include <poll.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>

namespace sysio {

int open(const char* path, int flags, mode_t mode = 0);
ssize_t read(int fd, void* buffer, std::size_t count);
ssize_t write(int fd, const void* buffer, std::size_t count);
ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset);
int ioctl(int fd, unsigned long request, void* arg = nullptr);
int flock(int fd, int operation);

// Waits in poll() for the descriptors until `timeoutMs` has passed (< 0: without limit).
int poll(pollfd* fds, std::size_t count, int timeoutMs);
// The same until `deadline` on the monotonic clock (none: without limit), to the nanosecond.
int pollUntil(pollfd* fds, std::size_t count, std::optional<std::chrono::steady_clock::time_point> deadline);

// Writes all `count` bytes, carrying on after short writes; for descriptors that block (files,
// pipes). False with errno set when the system refuses.
bool writeAll(int fd, const void* buffer, std::size_t count);

// An eventfd that wakes a waiting thread: adds one to its count, and takes the count (so that
// it reads as idle again). An eventfd moves its eight bytes whole, so these are never short.
void signalEvent(int eventFd);
void drainEvent(int eventFd);

// --- The test seam ------------------------------------------------------------------------------

enum class Call { open, read, write, ioctl, flock, poll };

// What a test makes of the calls. Called on whichever thread makes the call, so an
// implementation that several threads reach must be thread-safe.
class Faults {
public:
    virtual ~Faults() = default;
    // The errno this call fails with before it reaches the system: EINTR interrupts it (and the
    // helper makes it again), anything else is its result; 0 lets it run. `fd` is the call's
    // descriptor: the first of the set for poll, -1 for open.
    virtual int fail(Call call, int fd) = 0;
    // The most bytes this read or write may move (at least 1 is moved): less than `count` makes
    // the transfer short.
    virtual std::size_t limit(Call call, int fd, std::size_t count);
};

// Routes every call of the code linked with this copy of the library through `faults`
// (nullptr: none). For tests; `faults` must outlive its installation.
void setFaults(Faults* faults);

// Faults for testing a caller: every other call is interrupted, and each read and write
// moves at most `most` bytes.
class Choppy final : public Faults {
public:
    explicit Choppy(std::size_t most) : most_(most) {}
    int fail(Call, int) override;
    std::size_t limit(Call, int, std::size_t count) override { return count < most_ ? count : most_; }
    // How many calls were interrupted so far.
    int interrupted() const { return interrupted_.load(); }

private:
    const std::size_t most_;
    std::atomic<int> flip_{0};
    std::atomic<int> interrupted_{0};
};

}  // namespace sysio
