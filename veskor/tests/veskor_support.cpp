#include "veskor_support.h"

#include <com/text.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "../src/create.h"

namespace veskortest {

com::ComPtr<veskor::IVeskor> makeVeskor() {
    com::ComPtr<veskor::IVeskor> v;
    if (com::failed(veskor::createVeskor(veskor::IID_IVeskor, v.putVoid())))
        throw std::runtime_error("createVeskor");
    return v;
}

HRESULT Sink::Invoke(com::DISPID member, const com::IID&, com::LCID lcid, std::uint16_t flags,
                     com::DispParams* params, com::Variant*, com::ExcepInfo*, std::uint32_t*) {
    Fired f{member, {}, std::this_thread::get_id()};
    if (params && params->args) f.args.assign(params->args, params->args + params->count);
    {
        std::lock_guard l(mutex_);
        lastLcid = lcid;
        lastFlags = flags;
        events_.push_back(f);
    }
    if (onEvent) onEvent(f);
    return com::S_OK;
}

std::vector<Fired> Sink::of(com::DISPID id) {
    std::vector<Fired> r;
    for (const Fired& f : events())
        if (f.dispid == id) r.push_back(f);
    return r;
}

std::uint32_t advise(veskor::IVeskor* v, com::IUnknown* sink) {
    com::ComPtr<com::IConnectionPointContainer> cpc =
        com::ComPtr<veskor::IVeskor>(v).as<com::IConnectionPointContainer>(
            com::IID_IConnectionPointContainer);
    com::ComPtr<com::IConnectionPoint> cp;
    if (!cpc || com::failed(cpc->FindConnectionPoint(veskor::IID__IVeskorEvents, cp.put())))
        throw std::runtime_error("no connection point");
    std::uint32_t cookie = 0;
    if (com::failed(cp->Advise(sink, &cookie))) throw std::runtime_error("Advise");
    return cookie;
}

bool serveUntil(const std::function<bool()>& done, int ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        com::serveApartment();
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        com::waitApartment(
            std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(20)));
    }
}

void serveFor(int ms) {
    serveUntil([] { return false; }, ms);
}

Pty::Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) < 0 || ::unlockpt(master_) < 0)
        throw std::runtime_error("posix_openpt");
    slavePath = ::ptsname(master_);
    // A slave descriptor of our own keeps the master readable while the object is closed. It
    // is opened before the object takes its lock, and never locked itself.
    slaveKeep_ = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

Pty::~Pty() {
    if (slaveKeep_ >= 0) ::close(slaveKeep_);
    if (master_ >= 0) ::close(master_);
}

void Pty::write(const std::string& b) {
    std::size_t off = 0;
    while (off < b.size()) {
        ssize_t n = ::write(master_, b.data() + off, b.size() - off);
        if (n < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        if (n < 0) throw std::runtime_error("pty write");
        off += static_cast<std::size_t>(n);
    }
}

std::string Pty::read(std::size_t n, int ms) {
    std::string r;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (r.size() < n) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buf[4096];
        ssize_t k = ::read(master_, buf, std::min(sizeof buf, n - r.size()));
        if (k > 0) r.append(buf, static_cast<std::size_t>(k));
    }
    return r;
}

void Pty::closeMaster() {
    if (slaveKeep_ >= 0) ::close(slaveKeep_);
    slaveKeep_ = -1;
    ::close(master_);
    master_ = -1;
}

std::u16string u(const std::string& s) {
    return com::widen(s);
}
std::string bytes(const std::u16string& s) {
    return com::narrow(s);
}

}  // namespace veskortest
