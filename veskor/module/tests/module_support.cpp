#include "module_support.h"

#include <com/activation.h>
#include <com/apartment.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace moduletest {

std::string modulePath() {
    return com::programFolder() + "/libVeskorMod.so";
}

void* moduleExport(const char* name) {
    // The handle only looks the module up; the reference it adds is given back at once.
    void* h = ::dlopen(modulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) return nullptr;
    void* sym = ::dlsym(h, name);
    ::dlclose(h);
    return sym;
}

Pty::Pty() {
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "openpty: " << std::strerror(errno);
        return;
    }
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    ::close(slave);  // the control opens it by name
    slave_ = name;
}

Pty::~Pty() {
    if (master_ >= 0) ::close(master_);
}

void Pty::send(const std::string& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

std::string Pty::receive(std::size_t count, int ms) {
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (got.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buf[256];
        ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

bool serveUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        com::waitApartment(
            std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(20)));
        com::serveApartment();
    }
    return true;
}

HRESULT Sink::Invoke(com::DISPID member, const com::IID&, com::LCID, std::uint16_t, com::DispParams* params,
                     com::Variant*, com::ExcepInfo*, std::uint32_t*) {
    Call c{member, {}, std::this_thread::get_id()};
    if (params)
        for (std::uint32_t i = params->count; i-- > 0;) c.args.push_back(params->args[i]);
    calls.push_back(std::move(c));
    return com::S_OK;
}

}  // namespace moduletest
