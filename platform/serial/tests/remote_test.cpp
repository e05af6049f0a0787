// Remote ports: the telnet framing, addresses, and the backend against a real ser2net serving a
// pseudo-terminal and against a small com-port server played by the test (for the answers a
// real one does not give: refusals, silence, modem and line state).
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <serial/device.h>
#include <serial/names.h>
#include <serialtest/ser2net.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "backends.h"
#include "telnet.h"

using namespace serial;
using namespace std::chrono_literals;
namespace tn = serial::telnet;

namespace {

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s.push_back(static_cast<char>(b));
    return s;
}

// --- Framing -------------------------------------------------------------------------------

struct Collected : tn::Sink {
    std::string text;
    std::vector<std::string> options;  // verb and option
    std::vector<std::string> subs;
    void data(const std::uint8_t* p, std::size_t n) override {
        text.append(reinterpret_cast<const char*>(p), n);
    }
    void option(std::uint8_t verb, std::uint8_t option) override { options.push_back(bytes({verb, option})); }
    void subnegotiation(const std::uint8_t* body, std::size_t n) override {
        subs.emplace_back(reinterpret_cast<const char*>(body), n);
    }
};

TEST(Telnet, ParsesTheSameAtEverySplitPoint) {
    const std::string longSub =
        bytes({255, 250, 44, 1}) + std::string(tn::Parser::kMaxBody + 5, 'x') + bytes({255, 240});
    const std::string stream = "a" + bytes({255, 255}) + "b" + bytes({255, 253, 44}) +    // DO COM-PORT
                               bytes({255, 250, 44, 101, 0, 0, 255, 255, 0, 255, 240}) +  // baud, FF escaped
                               bytes({255, 241}) + "c" +                                  // NOP
                               longSub + "d" +                                            // skipped whole
                               bytes({255, 250, 44, 5, 255, 251, 1}) + "e";  // a sub broken off by WILL
    for (std::size_t split = 0; split <= stream.size(); ++split) {
        tn::Parser parser;
        Collected got;
        auto* p = reinterpret_cast<const std::uint8_t*>(stream.data());
        parser.feed(p, split, got);
        parser.feed(p + split, stream.size() - split, got);
        EXPECT_EQ(got.text,
                  "a\xff"
                  "bcde")
            << "split " << split;
        ASSERT_EQ(got.options.size(), 2u) << "split " << split;
        EXPECT_EQ(got.options[0], bytes({253, 44}));
        EXPECT_EQ(got.options[1], bytes({251, 1}));
        ASSERT_EQ(got.subs.size(), 1u) << "split " << split;
        EXPECT_EQ(got.subs[0], bytes({44, 101, 0, 0, 255, 0}));
    }
}

TEST(Telnet, EscapesIacInDataAndCommandValues) {
    std::string out;
    const std::string data = bytes({1, 255, 255, 2});
    tn::appendData(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), out);
    EXPECT_EQ(out, bytes({1, 255, 255, 255, 255, 2}));
    const std::uint8_t rate[4] = {0, 0, 0xFF, 0x10};
    EXPECT_EQ(tn::comPort(tn::kSetBaudRate, rate, 4), bytes({255, 250, 44, 1, 0, 0, 255, 255, 16, 255, 240}));
}

TEST(RemoteNames, AddressesAreParsedStrictly) {
    const auto a = parseRemote("RFC2217://bench-7.lab:4001");
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->comPortControl);
    EXPECT_EQ(a->where(), "bench-7.lab port 4001");
    const auto v6 = parseRemote("socket://[::1]:9/");
    ASSERT_TRUE(v6);
    EXPECT_FALSE(v6->comPortControl);
    EXPECT_EQ(v6->host, "::1");
    for (const char* bad :
         {"rfc2217://host", "rfc2217://:4001", "rfc2217://host:0", "rfc2217://host:65536",
          "rfc2217://host:01", "socket://ho st:1", "socket://[::1:1", "rfc2217://h:1x", "tcp://h:1"})
        EXPECT_FALSE(parseRemote(bad)) << bad;
    EXPECT_TRUE(isRemoteName("rfc2217://host"));  // meant as one, so opening it says what is wrong
    Failure why;
    EXPECT_FALSE(openDevice("rfc2217://host", &why));
    EXPECT_EQ(
        why.cause(),
        "rfc2217://host: not a remote port's address (write rfc2217://HOST:PORT or socket://HOST:PORT)");
}

// --- The far end ---------------------------------------------------------------------------

// A pseudo-terminal whose slave a server serves; the test holds the master (what an adapter
// would see) and a slave descriptor, so the master never reads a hang-up between connections.
struct FarPty {
    int master = -1;
    int slave = -1;
    std::string path;
    FarPty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ::grantpt(master);
        ::unlockpt(master);
        path = ::ptsname(master);
        slave = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~FarPty() {
        ::close(slave);
        ::close(master);
    }
    void write(const std::string& s) const {
        ASSERT_EQ(::write(master, s.data(), s.size()), static_cast<ssize_t>(s.size()));
    }
    std::string read(std::size_t n) const {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + 3s;
        while (got.size() < n && std::chrono::steady_clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[4096];
            const ssize_t k = ::read(master, buf, std::min(sizeof buf, n - got.size()));
            if (k > 0) got.append(buf, static_cast<std::size_t>(k));
        }
        return got;
    }
    // The line as the pseudo-terminal's own side has it set.
    speed_t speed() const {
        termios t{};
        ::tcgetattr(master, &t);
        return ::cfgetospeed(&t);
    }
};

std::string scratch() {
    static const std::string dir = [] {
        std::string t = (std::filesystem::temp_directory_path() / "remote_test.XXXXXX").string();
        return std::string(::mkdtemp(t.data()));
    }();
    return dir;
}

// Reads `n` bytes from the device, waiting at most three seconds.
std::string readFrom(Device& d, std::uint32_t n, Code* code = nullptr) {
    std::string buf(n, '\0');
    Request r;
    Code c = d.read(r, buf.data(), n);
    std::uint32_t got = 0;
    if (c == Code::pending) {
        if (!r.event().wait(3000)) d.cancel(r);
        c = r.result(&got, true);
    } else if (c == Code::ok) {
        r.result(&got, true);
    }
    if (code) *code = c;
    buf.resize(got);
    return buf;
}

Code writeTo(Device& d, const std::string& s) {
    Request r;
    Code c = d.write(r, s.data(), static_cast<std::uint32_t>(s.size()));
    if (c != Code::pending) return c;
    std::uint32_t sent = 0;
    return r.result(&sent, true);
}

ControlBlock line(std::uint32_t rate) {
    ControlBlock b;
    b.baudRate = rate;
    return b;
}

TEST(RemoteSer2net, DataAndSettingsReachTheFarPort) {
    FarPty pty;
    sertest::Ser2net server(pty.path, scratch());
    Failure why;
    auto d = openDevice(server.rfc2217(), &why);
    ASSERT_TRUE(d) << why.cause() << server.log();

    ControlBlock b;
    ASSERT_EQ(d->getState(&b), Code::ok);
    EXPECT_EQ(b.baudRate, 115200u);  // what the server has the port at
    ASSERT_EQ(d->setState(line(9600)), Code::ok);
    EXPECT_EQ(pty.speed(), B9600);
    ASSERT_EQ(d->getState(&b), Code::ok);
    EXPECT_EQ(b.baudRate, 9600u);
    ASSERT_EQ(d->setState(line(115200)), Code::ok);
    EXPECT_EQ(pty.speed(), B115200);

    // A pseudo-terminal has no modem lines: its server never answers DTR, so the modem status
    // fails, and nothing else does.
    EXPECT_EQ(d->escape(Escape::setDtr), Code::ok);
    EXPECT_EQ(d->escape(Escape::clrRts), Code::ok);
    std::uint32_t modem = 0;
    EXPECT_EQ(d->modemStatus(&modem), Code::notSupported);

    // Every byte value both ways, 0xFF among them, and more than one piece of framing.
    std::string all;
    for (int i = 0; i < 5000; ++i) all.push_back(static_cast<char>(i * 7));
    ASSERT_EQ(writeTo(*d, all), Code::ok);
    EXPECT_EQ(pty.read(all.size()), all);
    pty.write(all.substr(0, 3000));
    EXPECT_EQ(readFrom(*d, 3000), all.substr(0, 3000));
}

TEST(RemoteSer2net, RawPortsCarryTheBytesAlone) {
    FarPty pty;
    sertest::Ser2net server(pty.path, scratch(), "57600n81");
    Failure why;
    auto d = openDevice(server.raw(), &why);
    ASSERT_TRUE(d) << why.cause() << server.log();
    EXPECT_EQ(d->setState(line(9600)), Code::ok);
    std::uint32_t modem = 0;
    EXPECT_EQ(d->modemStatus(&modem), Code::notSupported);
    EXPECT_EQ(d->escape(Escape::setBreak), Code::notSupported);
    const std::string s = bytes({'$', 255, 0, 255, 255, '\r'});
    ASSERT_EQ(writeTo(*d, s), Code::ok);
    EXPECT_EQ(pty.read(s.size()), s);
    pty.write(s);
    EXPECT_EQ(readFrom(*d, static_cast<std::uint32_t>(s.size())), s);
    EXPECT_EQ(pty.speed(), B57600);  // the server's configuration holds
}

TEST(RemoteSer2net, AServerThatGoesAwayIsAHangUp) {
    FarPty pty;
    sertest::Ser2net server(pty.path, scratch());
    auto d = openDevice(server.rfc2217());
    ASSERT_TRUE(d) << server.log();
    std::string buf(16, '\0');
    Request pending;
    ASSERT_EQ(d->read(pending, buf.data(), 16), Code::pending);
    server.stop();
    ASSERT_TRUE(pending.event().wait(3000));
    std::uint32_t got = 0;
    EXPECT_EQ(pending.result(&got, true), Code::hungUp);
    EXPECT_EQ(writeTo(*d, "x"), Code::hungUp);
    EXPECT_EQ(d->setState(line(9600)), Code::hungUp);
}

// --- Errors a person can act on --------------------------------------------------------------

// A loopback socket bound to a port; listening with `backlog` if given.
struct Bound {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port = 0;
    explicit Bound(std::optional<int> backlog) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        if (backlog) ::listen(fd, *backlog);
    }
    ~Bound() { ::close(fd); }
    std::string url(const char* scheme = "rfc2217") const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port);
    }
};

TEST(RemoteErrors, EachSaysWhatWentWrongWithHostAndPort) {
    Failure why;
    {
        Bound closed(std::nullopt);  // bound, not listening: the connection is refused
        EXPECT_FALSE(openDevice(closed.url(), &why));
        EXPECT_EQ(why.cause(), closed.url() + ": connection refused by 127.0.0.1 port " +
                                   std::to_string(closed.port) + " (nothing serves that port there)");
    }
    // A name the resolver rejects without asking any server (a label over 63 characters).
    const std::string host = std::string(64, 'h') + ".invalid";
    EXPECT_FALSE(openDevice("socket://" + host + ":4001", &why));
    EXPECT_EQ(why.code, Code::notFound);
    EXPECT_NE(why.cause().find("host " + host + " not found"), std::string::npos) << why.cause();
    EXPECT_NE(why.cause().find("port 4001"), std::string::npos) << why.cause();

    RemoteLimits quick;
    quick.connect = 200ms;
    quick.reply = 200ms;
    {
        // A backlog that is full: the next connection's handshake is never answered.
        Bound full(0);
        const int first = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(full.port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(first, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        const int second = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(second, reinterpret_cast<sockaddr*>(&a), sizeof a);
        EXPECT_FALSE(openRemote(full.url(), &why, quick));
        EXPECT_EQ(why.cause(), full.url() + ": time-out: 127.0.0.1 port " + std::to_string(full.port) +
                                   " did not answer within 200 ms");
        ::close(second);
        ::close(first);
    }
    {
        Bound silent(4);  // accepts, then says nothing
        EXPECT_FALSE(openRemote(silent.url(), &why, quick));
        EXPECT_EQ(why.cause(), silent.url() + ": no answer from 127.0.0.1 port " +
                                   std::to_string(silent.port) + " within 200 ms");
    }
}

// A raw server whose port is busy for its first `busyFor` connections: it says so and closes,
// as ser2net does while another session holds the device.
TEST(RemoteErrors, AServerThatTurnsUsAwayIsTriedAgainThenReportedBusy) {
    auto serve = [](Bound& listener, int busyFor, std::atomic<int>& seen) {
        return std::thread([&listener, busyFor, &seen] {
            for (;;) {
                pollfd p{listener.fd, POLLIN, 0};
                if (::poll(&p, 1, 3000) <= 0) return;
                const int c = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (c < 0) return;
                if (seen++ < busyFor) {
                    const std::string busy = "Port's device already in use\r\n";
                    ::send(c, busy.data(), busy.size(), MSG_NOSIGNAL);
                    ::close(c);
                    continue;
                }
                ::send(c, "up", 2, MSG_NOSIGNAL);
                char b;
                ::recv(c, &b, 1, 0);  // until the client closes
                ::close(c);
                return;
            }
        });
    };
    RemoteLimits quick;
    quick.busy = 300ms;
    Failure why;
    {
        Bound listener(8);
        std::atomic<int> seen{0};
        std::thread server = serve(listener, 2, seen);
        auto d = openRemote(listener.url("socket"), &why, quick);
        ASSERT_TRUE(d) << why.cause();
        EXPECT_EQ(seen.load(), 3);
        EXPECT_EQ(readFrom(*d, 2), "up");  // what the server said at once is not lost
        d.reset();
        server.join();
    }
    {
        Bound listener(8);
        std::atomic<int> seen{0};
        std::thread server = serve(listener, 1000, seen);
        EXPECT_FALSE(openRemote(listener.url("socket"), &why, quick));
        EXPECT_EQ(why.code, Code::busy);
        EXPECT_EQ(why.cause(), listener.url("socket") + ": 127.0.0.1 port " + std::to_string(listener.port) +
                                   " closed the connection at once: \"Port's device already in use\"");
        ::shutdown(listener.fd, SHUT_RDWR);
        server.join();
    }
}

// --- A com-port server played by the test ----------------------------------------------------

// Accepts one connection and answers com-port commands as `answer` says (nullopt: silence).
// It agrees to com-port control unless `refuseComPort`.
class FakeServer : tn::Sink {
public:
    using Answer = std::function<std::optional<std::string>(std::uint8_t code, const std::string& value)>;

    explicit FakeServer(Answer answer, bool refuseComPort = false)
        : answer_(std::move(answer)), refuse_(refuseComPort), listener_(1) {
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeServer() {
        stop_ = true;
        thread_.join();
        if (conn_ >= 0) ::close(conn_);
    }
    std::string url() const { return listener_.url(); }
    // Sends raw bytes to the client.
    void say(const std::string& s) {
        std::lock_guard l(mutex_);
        ::send(conn_, s.data(), s.size(), MSG_NOSIGNAL);
    }
    std::vector<std::string> commands() {
        std::lock_guard l(mutex_);
        return commands_;
    }
    // Closes the connection, as a server whose machine went away.
    void drop() {
        std::lock_guard l(mutex_);
        ::shutdown(conn_, SHUT_RDWR);
    }

private:
    void serve() {
        pollfd p{listener_.fd, POLLIN, 0};
        while (!stop_ && ::poll(&p, 1, 20) <= 0) {
        }
        if (stop_) return;
        {
            std::lock_guard l(mutex_);
            conn_ = ::accept4(listener_.fd, nullptr, nullptr, SOCK_CLOEXEC);
            const std::string hello = bytes({255, refuse_ ? 254 : 253, 44});
            ::send(conn_, hello.data(), hello.size(), MSG_NOSIGNAL);
        }
        while (!stop_) {
            pollfd c{conn_, POLLIN, 0};
            if (::poll(&c, 1, 20) <= 0) continue;
            std::uint8_t buf[1024];
            const ssize_t n = ::recv(conn_, buf, sizeof buf, 0);
            if (n <= 0) return;
            parser_.feed(buf, static_cast<std::size_t>(n), *this);
        }
    }
    void data(const std::uint8_t*, std::size_t) override {}
    void option(std::uint8_t, std::uint8_t) override {}
    void subnegotiation(const std::uint8_t* body, std::size_t n) override {
        if (n < 2 || body[0] != tn::kComPort) return;
        const std::string value(reinterpret_cast<const char*>(body + 2), n - 2);
        std::lock_guard l(mutex_);
        commands_.push_back(bytes({body[1]}) + value);
        if (auto reply = answer_(body[1], value)) {
            const std::string out =
                tn::comPort(static_cast<std::uint8_t>(body[1] + tn::kServerOffset),
                            reinterpret_cast<const std::uint8_t*>(reply->data()), reply->size());
            ::send(conn_, out.data(), out.size(), MSG_NOSIGNAL);
        }
    }

    Answer answer_;
    bool refuse_;
    Bound listener_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    int conn_ = -1;
    tn::Parser parser_;
    std::vector<std::string> commands_;
    std::thread thread_;
};

RemoteLimits quickLimits() {
    RemoteLimits l;
    l.reply = 300ms;
    l.modemReply = 100ms;
    return l;
}

// Answers every command with the value it was given.
std::optional<std::string> echo(std::uint8_t, const std::string& value) {
    return value;
}

TEST(RemoteFake, ARefusedOrUnansweredSettingFailsAndChangesNothing) {
    // Refuses 7 data bits (answers 8), and never answers a parity setting of mark.
    FakeServer server([](std::uint8_t code, const std::string& value) -> std::optional<std::string> {
        if (code == tn::kSetDataSize && value == bytes({7})) return bytes({8});
        if (code == tn::kSetParity && value == bytes({4})) return std::nullopt;
        return value;
    });
    Failure why;
    auto d = openRemote(server.url(), &why, quickLimits());
    ASSERT_TRUE(d) << why.cause();
    ControlBlock b = line(19200);
    ASSERT_EQ(d->setState(b), Code::ok);
    ControlBlock refused = b;
    refused.byteSize = 7;
    EXPECT_EQ(d->setState(refused), Code::failed);
    ControlBlock silent = b;
    silent.parity = kParityMark;
    EXPECT_EQ(d->setState(silent), Code::failed);
    ControlBlock now;
    ASSERT_EQ(d->getState(&now), Code::ok);
    EXPECT_EQ(now.byteSize, 8);
    EXPECT_EQ(now.parity, kParityNone);
    // What the server took of a refused block was put back: the last data size it was sent is 8.
    const auto commands = server.commands();
    std::string lastSize;
    for (const std::string& c : commands) {
        if (c[0] == tn::kSetDataSize) lastSize = c;
    }
    EXPECT_EQ(lastSize, bytes({tn::kSetDataSize, 8}));
}

TEST(RemoteFake, AServerWithoutComPortControlIsRefusedAtOpen) {
    FakeServer server(echo, true);
    Failure why;
    EXPECT_FALSE(openRemote(server.url(), &why, quickLimits()));
    EXPECT_NE(why.cause().find(
                  "does not offer serial-port control (RFC 2217); for a raw TCP port, write socket://"),
              std::string::npos)
        << why.cause();
}

TEST(RemoteFake, ModemAndLineStateBecomeEvents) {
    FakeServer server(echo);  // answers DTR and RTS: the far port has modem lines
    Failure why;
    auto d = openRemote(server.url(), &why, quickLimits());
    ASSERT_TRUE(d) << why.cause();
    ASSERT_EQ(d->setState(line(115200)), Code::ok);
    ASSERT_EQ(d->setEventMask(kEvCts | kEvCd | kEvBreak | kEvError), Code::ok);

    Request wait;
    ASSERT_EQ(d->waitEvent(wait), Code::pending);
    server.say(bytes({255, 250, 44, 107, 0x10 | 0x01, 255, 240}));  // CTS on
    ASSERT_TRUE(wait.event().wait(3000));
    std::uint32_t events = 0, n = 0;
    EXPECT_EQ(wait.result(&n, true, &events), Code::ok);
    EXPECT_EQ(events, kEvCts);
    std::uint32_t modem = 0;
    ASSERT_EQ(d->modemStatus(&modem), Code::ok);
    EXPECT_EQ(modem, kCtsOn);

    ASSERT_EQ(d->waitEvent(wait), Code::pending);
    server.say(bytes({255, 250, 44, 106, 0x10 | 0x04, 255, 240}));  // break and a parity error
    ASSERT_TRUE(wait.event().wait(3000));
    EXPECT_EQ(wait.result(&n, true, &events), Code::ok);
    EXPECT_EQ(events, kEvBreak | kEvError);
    std::uint32_t errors = 0;
    ASSERT_EQ(d->clearError(&errors, nullptr), Code::ok);
    EXPECT_EQ(errors, kBreakDetected | kParityError);

    // Flow-control suspend holds our writes until the server resumes them. The break's answer
    // comes behind the suspend, so the suspend has been taken when the write starts.
    server.say(bytes({255, 250, 44, 108, 255, 240}));
    ASSERT_EQ(d->escape(Escape::clrBreak), Code::ok);
    Request w;
    const std::string s = "held";
    EXPECT_EQ(d->write(w, s.data(), 4), Code::pending);
    EXPECT_FALSE(w.event().wait(50));
    server.say(bytes({255, 250, 44, 109, 255, 240}));
    EXPECT_TRUE(w.event().wait(3000));

    // Purges reach the server.
    ASSERT_EQ(d->purge(kPurgeRxClear | kPurgeTxClear), Code::ok);
    const auto until = std::chrono::steady_clock::now() + 3s;
    auto purged = [&] {
        for (const std::string& c : server.commands()) {
            if (c == bytes({tn::kPurgeData, 3})) return true;
        }
        return false;
    };
    while (!purged() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(purged());

    server.drop();
    Code code = Code::ok;
    readFrom(*d, 4, &code);
    EXPECT_EQ(code, Code::hungUp);
}

}  // namespace
