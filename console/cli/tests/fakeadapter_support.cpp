#include "fakeadapter_support.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

namespace clitest {

FakeAdapter::FakeAdapter(Answer answer) : answer_(std::move(answer)) {
    char name[128] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0 || ::pipe(stop_) != 0)
        throw std::runtime_error("no pseudo-terminal for the fake adapter");
    path_ = name;
    thread_ = std::thread([this] { serve(); });
}

FakeAdapter::~FakeAdapter() {
    const char stop = 0;
    (void)!::write(stop_[1], &stop, 1);
    thread_.join();
    for (int fd : {master_, slave_, stop_[0], stop_[1]}) ::close(fd);
}

std::vector<std::string> FakeAdapter::frames() {
    std::lock_guard lock(mutex_);
    return frames_;
}

bool FakeAdapter::waitForFrames(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return frames_.size() >= count; });
}

void FakeAdapter::serve() {
    std::string line;
    for (;;) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents != 0) return;
        char buffer[4096];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) {
            // Nobody holds the device open just now (EIO): wait for the program to open it.
            ::usleep(2000);
            continue;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] != '\r') {
                line += buffer[i];
                continue;
            }
            {
                std::lock_guard lock(mutex_);
                frames_.push_back(line);
            }
            arrived_.notify_all();
            for (const Piece& piece : answer_(line)) {
                // Pauses end early when the test is over.
                pollfd stop{stop_[0], POLLIN, 0};
                if (::poll(&stop, 1, static_cast<int>(piece.after.count())) > 0) return;
                (void)!::write(master_, piece.bytes.data(), piece.bytes.size());
            }
            line.clear();
        }
    }
}

}  // namespace clitest
