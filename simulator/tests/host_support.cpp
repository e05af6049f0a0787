#include "host_support.h"

#include <fcntl.h>
#include <poll.h>
#include <sysio/sysio.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <utility>

namespace simtest {

using Clock = std::chrono::steady_clock;

Host::Host(const std::string& device) {
    fd_ = sysio::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("cannot open " + device);
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd_, TCSANOW, &t);
    ::tcflush(fd_, TCIFLUSH);
}

Host::~Host() {
    if (fd_ >= 0) ::close(fd_);
}

void Host::setLine(int baud) {
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfsetspeed(&t, baud == 9600 ? B9600 : B115200);
    ::tcsetattr(fd_, TCSANOW, &t);
}

void Host::send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = sysio::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EAGAIN)
            throw std::runtime_error("write failed");
        else {
            pollfd p{fd_, POLLOUT, 0};
            sysio::poll(&p, 1, 100);
        }
    }
}

std::string Host::readSome(std::chrono::milliseconds timeout) {
    if (!pending_.empty()) return std::exchange(pending_, {});
    pollfd p{fd_, POLLIN, 0};
    if (sysio::poll(&p, 1, static_cast<int>(timeout.count())) <= 0 || !(p.revents & POLLIN)) return {};
    char buf[4096];
    const ssize_t n = sysio::read(fd_, buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

std::string Host::line(std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    std::string got = std::exchange(pending_, {});
    while (got.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) return got;
        got += readSome(left);
    }
    const std::size_t lf = got.find('\n');
    pending_ = got.substr(lf + 1);
    return got.substr(0, lf + 1);
}

std::string Host::collect(std::chrono::milliseconds span) {
    const auto end = Clock::now() + span;
    std::string got = std::exchange(pending_, {});
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) return got;
        got += readSome(left);
    }
}

bool Host::hungUp(std::chrono::milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    if (sysio::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
    if (p.revents & (POLLHUP | POLLERR)) return true;
    char c;
    const ssize_t n = sysio::read(fd_, &c, 1);
    return n == 0 || (n < 0 && errno == EIO);
}

}  // namespace simtest
