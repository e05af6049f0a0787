// Speed of the Veskor object on a pseudo-terminal pair, each figure beside the same
// measurement with a bare poll()+read() loop on a pseudo-terminal of its own, and its event
// latency through a ser2net on this machine beside the same on the pseudo-terminal. Prints its
// figures; `veskor_bench [idle-seconds]` (default 10).
#include <com/apartment.h>
#include <com/object.h>
#include <com/text.h>
#include <fcntl.h>
#include <poll.h>
#include <serialtest/ser2net.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <veskor/veskor.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../src/create.h"

using Clock = std::chrono::steady_clock;
using com::ComPtr;
using veskor::IVeskor;

namespace {

double us(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

struct Stats {
    double median, p90, p99;
};
Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    auto at = [&](std::size_t pct) { return v[std::min(v.size() - 1, v.size() * pct / 100)]; };
    return {v[v.size() / 2], at(90), at(99)};
}

struct Pty {
    int master = -1;
    std::string slave;
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master);
        ::unlockpt(master);
        slave = ::ptsname(master);
        termios t;
        ::tcgetattr(master, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(master, TCSANOW, &t);
    }
    ~Pty() { ::close(master); }
    void drain() {
        char buf[65536];
        pollfd p{master, POLLIN, 0};
        while (::poll(&p, 1, 0) > 0 && ::read(master, buf, sizeof buf) > 0) {
        }
    }
};

int openRawSlave(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t;
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// The host's handler: notes when the line arrived.
class Handler final : public com::DispatchSink<veskor::IID__IVeskorEvents> {
public:
    Clock::time_point at;
    bool fired = false;
    com::HRESULT Invoke(com::DISPID id, const com::IID&, com::LCID, std::uint16_t, com::DispParams*,
                        com::Variant*, com::ExcepInfo*, std::uint32_t*) override {
        if (id == veskor::DISPID_EvtCharReceived && !fired) {
            at = Clock::now();
            fired = true;
        }
        return com::S_OK;
    }
};

ComPtr<IVeskor> openOn(const std::string& port) {
    ComPtr<IVeskor> v;
    veskor::createVeskor(veskor::IID_IVeskor, v.putVoid());
    if (com::failed(v->Open(com::widen(port), com::Variant(u"115200,n,8,1")))) {
        std::fprintf(stderr, "cannot open %s\n", port.c_str());
        std::exit(1);
    }
    return v;
}

ComPtr<IVeskor> openOn(const Pty& pty) {
    return openOn(pty.slave);
}

void serveUntilFired(Handler& h) {
    pollfd p{com::apartmentWakeDescriptor(), POLLIN, 0};
    while (!h.fired) {
        ::poll(&p, 1, 1000);
        com::serveApartment();
    }
}

// The adapter's status reply: 13 characters, about 1.1 ms of line time at 115200 baud.
const std::string kLine = "!0000022600\r\n";
constexpr int kSamples = 2000;

// How the far end (the adapter) sends its lines.
//  - adapter: a thread of its own writes a line every millisecond, about the line rate. This is
//    how replies come: the receiver, whichever it is, sleeps when a line arrives.
//  - self: the receiving thread writes each line itself and at once waits for it. The line is
//    then in flight while the receiver is still awake, which only the bare loop (whose reader
//    is that very thread) can profit from; on a virtual machine its figure also swings from run
//    to run between two values, depending on which processor runs the terminal's flush.
enum class FarEnd { adapter, self };

// Writes kSamples lines, one per period, noting when each was written.
class AdapterThread {
public:
    AdapterThread(int master, std::chrono::microseconds period) : sent_(kSamples) {
        thread_ = std::thread([this, master, period] {
            auto next = Clock::now();
            for (auto& at : sent_) {
                next += period;
                std::this_thread::sleep_until(next);
                at = Clock::now().time_since_epoch().count();
                ::write(master, kLine.data(), kLine.size());
            }
        });
    }
    ~AdapterThread() { thread_.join(); }
    Clock::time_point sent(std::size_t i) const {
        return Clock::time_point(Clock::duration(sent_[i].load()));
    }

private:
    std::vector<std::atomic<Clock::rep>> sent_;
    std::thread thread_;
};

template <class Text>
std::size_t linesIn(const Text& s) {
    return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
}

// Takes kSamples latencies: the far end writes to `master`, and `receive` waits for what
// arrives, tells how many lines it completed and returns when the first of them was received.
// Lines that arrive together count once, for the first of them.
using Receive = std::function<Clock::time_point(std::size_t* lines)>;
std::vector<double> sample(FarEnd far, int master, const Receive& receive) {
    std::vector<double> out;
    if (far == FarEnd::self) {
        for (int i = 0; i < kSamples; ++i) {
            auto t0 = Clock::now();
            ::write(master, kLine.data(), kLine.size());
            std::size_t lines = 0;
            Clock::time_point at;
            while (!lines) at = receive(&lines);
            out.push_back(us(at - t0));
        }
    } else {
        AdapterThread adapter(master, std::chrono::microseconds(1000));
        for (std::size_t i = 0; i < kSamples;) {
            std::size_t lines = 0;
            Clock::time_point at = receive(&lines);
            if (lines) out.push_back(us(at - adapter.sent(i)));
            i += lines;
        }
    }
    return out;
}

// From a line's write to the bare loop's read that completes it.
std::vector<double> bareLatency(FarEnd far) {
    Pty pty;
    int fd = openRawSlave(pty.slave);
    char buf[256];
    auto out = sample(far, pty.master, [&](std::size_t* lines) {
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 1000);
        ssize_t n = ::read(fd, buf, sizeof buf);
        *lines = n > 0 ? linesIn(std::string(buf, static_cast<std::size_t>(n))) : 0;
        return Clock::now();
    });
    ::close(fd);
    return out;
}

// From a line's write to the host's EvtCharReceived handler, the host reading the line there
// as the console does. A line the host read before its event came is reported with an empty
// queue, and not counted again. With `remote` the host opens the pseudo-terminal through a
// ser2net on this machine (RFC 2217 over loopback).
std::vector<double> veskorLatency(FarEnd far, bool remote = false) {
    Pty pty;
    std::unique_ptr<sertest::Ser2net> server;
    std::string folder;
    if (remote) {
        folder = "/tmp/veskor-bench.XXXXXX";
        ::mkdtemp(folder.data());
        server = std::make_unique<sertest::Ser2net>(pty.slave, folder);
    }
    auto v = openOn(remote ? server->rfc2217() : pty.slave);
    // Counted: the interface table may release its reference from a call posted to this
    // thread after the block ends (the monitor thread dropped it last).
    auto handler = ComPtr<Handler>::attach(new Handler);
    Handler& h = *handler;
    auto cpc = v.as<com::IConnectionPointContainer>(com::IID_IConnectionPointContainer);
    ComPtr<com::IConnectionPoint> cp;
    cpc->FindConnectionPoint(veskor::IID__IVeskorEvents, cp.put());
    std::uint32_t cookie;
    cp->Advise(handler.get(), &cookie);
    auto out = sample(far, pty.master, [&](std::size_t* lines) {
        h.fired = false;
        serveUntilFired(h);
        std::u16string text;
        v->Read(com::Variant::missing(), com::Variant::missing(), com::Variant::missing(), &text);
        *lines = linesIn(text);
        com::serveApartment();
        return h.at;
    });
    cp->Unadvise(cookie);
    v->Close();
    if (server) {
        server->stop();
        std::remove((folder + "/ser2net.yaml").c_str());
        std::remove((folder + "/ser2net.log").c_str());
        ::rmdir(folder.c_str());
    }
    return out;
}

// The same line, the host on a remote port: ser2net serving the pseudo-terminal, beside the
// host on the pseudo-terminal itself.
void remoteLatency() {
    std::vector<double> remote;
    try {
        remote = veskorLatency(FarEnd::adapter, true);
    } catch (const std::exception& e) {
        std::printf("through ser2net: not measured (%s)\n", e.what());
        return;
    }
    Stats r = stats(remote);
    Stats l = stats(veskorLatency(FarEnd::adapter));
    std::printf("line from the adapter's own thread, host on rfc2217:// through ser2net on loopback:\n");
    std::printf("  through ser2net:       median %.1f us, p90 %.1f us, p99 %.1f us\n", r.median, r.p90,
                r.p99);
    std::printf("  on the pseudo-terminal: median %.1f us, p90 %.1f us, p99 %.1f us\n", l.median, l.p90,
                l.p99);
    std::printf("  ratio of medians %.2f (goal <= 2)\n", r.median / l.median);
}

void latency(FarEnd far) {
    Stats o = stats(veskorLatency(far));
    Stats b = stats(bareLatency(far));
    std::printf("%s\n", far == FarEnd::adapter
                            ? "line from the adapter's own thread, one per ms:"
                            : "line written by the receiving thread itself, back to back:");
    std::printf("  to EvtCharReceived handler: median %.1f us, p90 %.1f us, p99 %.1f us\n", o.median, o.p90,
                o.p99);
    std::printf("  bare poll()+read() loop:    median %.1f us, p90 %.1f us, p99 %.1f us\n", b.median, b.p90,
                b.p99);
    std::printf("  ratio of medians %.2f%s, p99 %s 1 ms\n", o.median / b.median,
                far == FarEnd::adapter ? " (goal <= 4)" : "", o.p99 < 1000 ? "under" : "NOT under");
}

void writeFrame() {
    Pty pty;
    auto v = openOn(pty);
    std::u16string frame =
        u"$0010\x0c"
        u"0123456789\r";
    frame.resize(16, u'x');
    std::vector<double> t;
    for (int i = 0; i < 5000; ++i) {
        std::int32_t n = 0;
        auto t0 = Clock::now();
        v->Write(frame, com::Variant(std::int32_t(0)), com::Variant(std::int32_t(100)), &n);
        t.push_back(us(Clock::now() - t0));
        if (n != 16) std::fprintf(stderr, "short write %d\n", n);
        if (i % 64 == 0) pty.drain();
    }
    v->Close();
    Stats s = stats(t);
    std::printf("Write(16-byte frame, 0, 100): median %.1f us, p99 %.1f us (goal: median < 50 us)\n",
                s.median, s.p99);
}

double cpuSeconds() {
    timespec ts;
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

void idle(int seconds) {
    Pty pty;
    auto v = openOn(pty);
    double c0 = cpuSeconds();
    auto t0 = Clock::now();
    // Serve what the earlier runs left (released references), then sleep in the apartment.
    auto deadline = t0 + std::chrono::seconds(seconds);
    while (Clock::now() < deadline) {
        com::serveApartment();
        com::waitApartment(deadline);
    }
    double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    double cpu = cpuSeconds() - c0;
    v->Close();
    std::printf("idle open port: %.4f %% of a core over %.1f s (goal < 0.1 %%)\n", 100.0 * cpu / wall, wall);
}

constexpr std::size_t kBlock = 65536;
constexpr std::size_t kTotal = 64u << 20;

// The far end pours kTotal bytes in as fast as it can.
std::thread pour(int master) {
    return std::thread([master] {
        std::string chunk(kBlock, 'd');
        std::size_t sent = 0;
        while (sent < kTotal) {
            ssize_t n = ::write(master, chunk.data(), std::min(kBlock, kTotal - sent));
            if (n > 0) sent += static_cast<std::size_t>(n);
        }
    });
}

void throughput() {
    double bareRate, ourRate;
    {
        Pty pty;
        int fd = openRawSlave(pty.slave);
        std::vector<char> buf(kBlock);
        auto t0 = Clock::now();
        auto writer = pour(pty.master);
        std::size_t got = 0;
        while (got < kTotal) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, 1000);
            ssize_t n = ::read(fd, buf.data(), buf.size());
            if (n > 0) got += static_cast<std::size_t>(n);
        }
        bareRate = kTotal / std::chrono::duration<double>(Clock::now() - t0).count() / 1e6;
        writer.join();
        ::close(fd);
    }
    {
        Pty pty;
        auto v = openOn(pty);
        auto t0 = Clock::now();
        auto writer = pour(pty.master);
        std::size_t got = 0;
        while (got < kTotal) {
            std::u16string text;
            std::int32_t want = static_cast<std::int32_t>(std::min(kBlock, kTotal - got));
            if (com::failed(v->Read(com::Variant(want), com::Variant(std::int32_t(0)),
                                    com::Variant::missing(), &text)))
                break;
            got += text.size();
        }
        ourRate = got / std::chrono::duration<double>(Clock::now() - t0).count() / 1e6;
        writer.join();
        v->Close();
    }
    std::printf("Read loop of 64 KiB blocks: %.1f MB/s; bare loop %.1f MB/s; ratio %.2f (goal >= 0.5)\n",
                ourRate, bareRate, ourRate / bareRate);
}

}  // namespace

int main(int argc, char** argv) {
    int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 10;
    com::initializeApartment();
    latency(FarEnd::adapter);
    latency(FarEnd::self);
    remoteLatency();
    writeFrame();
    throughput();
    idle(idleSeconds);
    com::uninitializeApartment();
    return 0;
}
