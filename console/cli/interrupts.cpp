#include "console/cli/interrupts.h"

#include <com/apartment.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sysio/sysio.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace sarnel::cli {

Interrupts::Interrupts() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (const int err = pthread_sigmask(SIG_BLOCK, &set, &before_); err != 0)
        throw std::system_error(err, std::generic_category(), "pthread_sigmask");
    fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0) {
        const int err = errno;
        pthread_sigmask(SIG_SETMASK, &before_, nullptr);
        throw std::system_error(err, std::generic_category(), "signalfd");
    }
    setPump(this);
}

Interrupts::~Interrupts() {
    setPump(nullptr);
    // A request that came after the first (a second Ctrl-C) is dropped here: unblocked, it
    // would end the process on its default action instead of with the command's status.
    signalfd_siginfo info;
    while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
    ::close(fd_);
    pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

const char* Interrupts::name() const {
    return signal_ == SIGTERM ? "SIGTERM" : signal_ == SIGINT ? "SIGINT" : "";
}

bool Interrupts::takeSignals() {
    bool came = false;
    signalfd_siginfo info;
    while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        came = true;
        if (signal_ == 0) signal_ = static_cast<int>(info.ssi_signo);
    }
    if (signal_ != 0 && onRequest_) onRequest_();
    return came;
}

void Interrupts::serve(int fd, std::function<void()> ready) {
    served_ = fd;
    ready_ = std::move(ready);
}

void Interrupts::processEvents() {
    takeSignals();
    com::serveApartment();
    if (served_ >= 0) {
        pollfd fd{served_, POLLIN, 0};
        if (sysio::poll(&fd, 1, 0) == 1 && ready_) ready_();
    }
}

void Interrupts::waitUntil(std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    if (takeSignals()) return;  // a new request ends the wait: the caller looks at it
    const int wake = com::apartmentWakeDescriptor();
    if (deadline <= steady_clock::now()) return;
    // A negative descriptor (no apartment, nothing served) is left out by poll.
    pollfd fds[3] = {{fd_, POLLIN, 0}, {wake, POLLIN, 0}, {served_, POLLIN, 0}};
    if (sysio::pollUntil(fds, 3, deadline) <= 0) return;
    if (fds[0].revents != 0) takeSignals();
    if (fds[1].revents != 0) com::serveApartment();
    if (fds[2].revents != 0 && ready_) ready_();
}

}  // namespace sarnel::cli
