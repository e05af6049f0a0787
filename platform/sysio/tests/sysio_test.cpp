// The retrying system calls: interruptions never reach the caller, other failures and short
// transfers do, and writeAll carries on after short writes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sysio/sysio.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Interrupts the first `times` calls of every kind, fails calls with `error` once the
// interruptions are spent (0: never), and limits transfers to `most` bytes.
class Script final : public sysio::Faults {
public:
    int times = 0;
    int error = 0;
    std::size_t most = SIZE_MAX;

    int fail(sysio::Call call, int) override {
        std::lock_guard lock(mutex_);
        int& n = calls_[call];
        return ++n <= times ? EINTR : error;
    }
    std::size_t limit(sysio::Call, int, std::size_t count) override { return std::min(count, most); }
    int calls(sysio::Call call) {
        std::lock_guard lock(mutex_);
        return calls_[call];
    }

private:
    std::mutex mutex_;
    std::map<sysio::Call, int> calls_;
};

struct Installed {
    explicit Installed(sysio::Faults& f) { sysio::setFaults(&f); }
    ~Installed() { sysio::setFaults(nullptr); }
};

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() { EXPECT_EQ(::pipe2(fd, O_CLOEXEC), 0); }
    ~Pipe() {
        ::close(fd[0]);
        ::close(fd[1]);
    }
};

TEST(Sysio, InterruptedCallsAreMadeAgainUntilTheyRun) {
    Pipe p;
    Script script;
    script.times = 3;
    Installed on(script);

    ASSERT_EQ(sysio::write(p.fd[1], "abc", 3), 3);
    pollfd in{p.fd[0], POLLIN, 0};
    ASSERT_EQ(sysio::poll(&in, 1, 1000), 1);
    EXPECT_TRUE(in.revents & POLLIN);
    int queued = 0;
    ASSERT_EQ(sysio::ioctl(p.fd[0], FIONREAD, &queued), 0);
    EXPECT_EQ(queued, 3);
    char buf[8];
    ASSERT_EQ(sysio::read(p.fd[0], buf, sizeof buf), 3);
    EXPECT_EQ(std::string(buf, 3), "abc");
    const std::string file = ::testing::TempDir() + "sysio-open-test";
    const int fd = sysio::open(file.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(sysio::flock(fd, LOCK_EX), 0);
    ::close(fd);
    ::unlink(file.c_str());

    for (sysio::Call c : {sysio::Call::open, sysio::Call::read, sysio::Call::write, sysio::Call::ioctl,
                          sysio::Call::flock, sysio::Call::poll})
        EXPECT_EQ(script.calls(c), 4) << "call " << static_cast<int>(c);
}

TEST(Sysio, OtherFailuresReachTheCaller) {
    Pipe p;
    Script script;
    script.times = 1;
    script.error = EIO;
    Installed on(script);
    char c;
    errno = 0;
    EXPECT_EQ(sysio::read(p.fd[0], &c, 1), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_FALSE(sysio::writeAll(p.fd[1], "x", 1));
    EXPECT_EQ(errno, EIO);
    // Without faults the system's own failure comes back unchanged.
    sysio::setFaults(nullptr);
    EXPECT_EQ(sysio::read(-1, &c, 1), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST(Sysio, ShortTransfersAreReturnedAndWriteAllCarriesOn) {
    Pipe p;
    Script script;
    script.most = 2;
    Installed on(script);
    const std::string text = "0123456789";
    ASSERT_TRUE(sysio::writeAll(p.fd[1], text.data(), text.size()));
    EXPECT_EQ(script.calls(sysio::Call::write), 5);
    // A write at an offset is cut the same way.
    const std::string file = ::testing::TempDir() + "sysio-pwrite-test";
    const int fd = ::open(file.c_str(), O_CREAT | O_RDWR | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(sysio::pwrite(fd, "abcd", 4, 3), 2);
    ::close(fd);
    ::unlink(file.c_str());
    std::string got;
    char buf[16];
    while (got.size() < text.size()) {
        const ssize_t n = sysio::read(p.fd[0], buf, sizeof buf);
        ASSERT_EQ(n, 2);
        got.append(buf, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(got, text);
}

TEST(Sysio, EventDescriptorsMoveTheirCountWhole) {
    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    ASSERT_GE(wake, 0);
    sysio::Choppy faults(1);
    Installed on(faults);
    sysio::signalEvent(wake);
    sysio::signalEvent(wake);
    pollfd in{wake, POLLIN, 0};
    EXPECT_EQ(sysio::poll(&in, 1, 0), 1);
    sysio::drainEvent(wake);
    EXPECT_EQ(sysio::poll(&in, 1, 0), 0);
    EXPECT_GT(faults.interrupted(), 0);
    ::close(wake);
}

TEST(Sysio, AWaitThatIsOverStaysOverWhenInterrupted) {
    Pipe p;
    Script script;
    script.times = 2;
    Installed on(script);
    pollfd in{p.fd[0], POLLIN, 0};
    EXPECT_EQ(sysio::pollUntil(&in, 1, std::chrono::steady_clock::now() - 1s), 0);
    EXPECT_EQ(sysio::poll(&in, 1, 0), 0);
}

std::atomic<int> signalsCaught{0};
void onSignal(int) {
    ++signalsCaught;
}

TEST(Sysio, ARealSignalDoesNotEndABlockedReadOrWait) {
    // A handler without SA_RESTART: the blocked calls really see EINTR.
    struct sigaction action {};
    action.sa_handler = onSignal;
    struct sigaction old {};
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &old), 0);
    Pipe p;
    std::atomic<bool> waiting{false};
    std::string got;
    int polled = -1;
    std::thread reader([&] {
        waiting = true;
        pollfd in{p.fd[0], POLLIN, 0};
        polled = sysio::poll(&in, 1, -1);
        char buf[8];
        const ssize_t n = sysio::read(p.fd[0], buf, sizeof buf);
        if (n > 0) got.assign(buf, static_cast<std::size_t>(n));
    });
    while (!waiting) std::this_thread::yield();
    const int before = signalsCaught;
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(20ms);
        ::pthread_kill(reader.native_handle(), SIGUSR1);
    }
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(::write(p.fd[1], "ok", 2), 2);
    reader.join();
    ::sigaction(SIGUSR1, &old, nullptr);
    EXPECT_EQ(signalsCaught - before, 3);
    EXPECT_EQ(polled, 1);
    EXPECT_EQ(got, "ok");
}

}  // namespace
