#include "ptycontrol_support.h"

#include <com/apartment.h>
#include <fcntl.h>
#include <poll.h>
#include <sysio/sysio.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "console/base/consoleerror.h"
#include "console/responses/portscan.h"

namespace boottest {

// What the reader thread and the posted handler calls share; outlives the control while
// calls are queued in the apartment.
struct PtyControl::Shared {
    std::mutex mutex;
    std::string queue;
    std::vector<std::string> written;
    std::function<void()> handler;
    std::atomic<bool> alive{true};
    com::ApartmentRef apartment;
};

namespace {
constexpr std::int32_t kPortOpenFailed = static_cast<std::int32_t>(0x80040205);
constexpr std::int32_t kWriteFailed = static_cast<std::int32_t>(0x8004020C);
constexpr std::int32_t kPortNotOpen = static_cast<std::int32_t>(0x80040203);
}  // namespace

PtyControl::PtyControl() : shared_(std::make_shared<Shared>()) {}

PtyControl::~PtyControl() {
    close();
    shared_->alive = false;
}

void PtyControl::setLineHandler(std::function<void()> handler) {
    std::lock_guard lock(shared_->mutex);
    shared_->handler = std::move(handler);
}

void PtyControl::open(const std::string& portName, const std::string& settings) {
    close();
    ++opens_;
    settings_ = settings;
    const std::string path = sarnel::devicepath(portName);
    const int fd = path.empty() ? -1 : sysio::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw sarnel::ConsoleError(kPortOpenFailed, "The port could not be opened: " + portName);
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&tio, B115200);
    tcsetattr(fd, TCSANOW, &tio);
    fd_ = fd;
    path_ = path;
    shared_->apartment = com::currentApartment();
    if (pipe2(stopPipe_, O_CLOEXEC) != 0) throw sarnel::ConsoleError(kPortOpenFailed, "pipe");
    reader_ = std::thread([this] { readerLoop(); });
}

void PtyControl::close() {
    if (fd_ < 0) return;
    ++closes_;
    const char stop = 1;
    sysio::write(stopPipe_[1], &stop, 1);
    reader_.join();
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
    ::close(fd_);
    fd_ = -1;
    std::lock_guard lock(shared_->mutex);
    shared_->queue.clear();
}

void PtyControl::readerLoop() {
    std::shared_ptr<Shared> shared = shared_;
    char buf[4096];
    for (;;) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (sysio::poll(fds, 2, -1) < 0) return;
        if (fds[1].revents) return;
        if (fds[0].revents & (POLLERR | POLLNVAL)) return;
        const ssize_t n = sysio::read(fd_, buf, sizeof buf);
        if (n <= 0) {
            if (n < 0 && errno == EAGAIN) continue;
            // Hang-up: wait for the stop request instead of spinning on a dead descriptor.
            pollfd stop{stopPipe_[0], POLLIN, 0};
            sysio::poll(&stop, 1, -1);
            return;
        }
        bool lineEnd = false;
        {
            std::lock_guard lock(shared->mutex);
            shared->queue.append(buf, static_cast<std::size_t>(n));
            lineEnd = std::memchr(buf, '\n', static_cast<std::size_t>(n)) != nullptr;
        }
        if (lineEnd && shared->apartment) {
            com::post(shared->apartment, [shared] {
                std::function<void()> handler;
                {
                    std::lock_guard lock(shared->mutex);
                    handler = shared->handler;
                }
                if (shared->alive && handler) handler();
            });
        }
    }
}

std::int32_t PtyControl::write(const std::string& data, std::int32_t count, std::int32_t timeoutMs) {
    if (failWrite_) {
        const std::int32_t n = failWrite_;
        failWrite_ = 0;
        throw sarnel::ConsoleError(n, "Write failed");
    }
    if (fd_ < 0) throw sarnel::ConsoleError(kPortNotOpen, "The port is not open");
    const std::size_t total =
        count > 0 ? std::min<std::size_t>(static_cast<std::size_t>(count), data.size()) : data.size();
    {
        std::lock_guard lock(shared_->mutex);
        shared_->written.push_back(data.substr(0, total));
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    while (done < total) {
        const ssize_t n = sysio::write(fd_, data.data() + done, total - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN) throw sarnel::ConsoleError(kWriteFailed, std::strerror(errno));
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd out{fd_, POLLOUT, 0};
        sysio::poll(&out, 1, static_cast<int>(left.count()));
    }
    return static_cast<std::int32_t>(done);
}

std::string PtyControl::read() {
    if (failRead_) {
        const std::int32_t n = failRead_;
        failRead_ = 0;
        throw sarnel::ConsoleError(n, "Read failed");
    }
    std::lock_guard lock(shared_->mutex);
    std::string out;
    out.swap(shared_->queue);
    return out;
}

void PtyControl::clearRQ() {
    std::lock_guard lock(shared_->mutex);
    shared_->queue.clear();
}

std::vector<std::string> PtyControl::written() {
    std::lock_guard lock(shared_->mutex);
    return shared_->written;
}

}  // namespace boottest
