// The device layer: the event, the mark decoder, the termios device on a pseudo-terminal and
// the null-modem pair.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <serial/device.h>
#include <serial/nullmodem.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <sysio/sysio.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "../src/markdecoder.h"

using namespace serial;
using namespace std::chrono_literals;

namespace {

TEST(EventWait, FirstSetWinsAndTimeoutsExpire) {
    Event a, b;
    EXPECT_EQ(waitAny({&a, &b}, 20), -1);
    b.set();
    EXPECT_EQ(waitAny({&a, &b}, -1), 1);
    a.set();
    EXPECT_EQ(waitAny({&a, &b}, -1), 0);  // both set: the earlier one
    a.reset();
    b.reset();
    std::thread t([&] {
        std::this_thread::sleep_for(20ms);
        b.set();
    });
    EXPECT_EQ(waitAny({&a, &b}, 2000), 1);
    t.join();
    EXPECT_TRUE(b.isSet());  // manual reset: stays set
}

TEST(MarkDecoder, UnescapesAcrossReadBoundaries) {
    struct Case {
        std::string in;
        std::string out;
        bool brk, err;
    };
    const Case cases[] = {
        {"abc", "abc", false, false},
        {std::string("\xff\xff", 2), "\xff", false, false},
        {std::string("a\xff\x00\x00"
                     "b",
                     5),
         "ab", true, false},
        {std::string("\xff\x00x", 3), "x", false, true},
        {std::string("\xff"
                     "a",
                     2),
         "\xff"
         "a",
         false, false},  // a lone FF stays data
    };
    for (const Case& c : cases) {
        // Every split point: the decoder keeps its state between calls.
        for (std::size_t split = 0; split <= c.in.size(); ++split) {
            MarkDecoder d;
            std::uint8_t out[16];
            auto* in = reinterpret_cast<const std::uint8_t*>(c.in.data());
            auto first = d.decode(in, split, out);
            auto second = d.decode(in + split, c.in.size() - split, out + first.length);
            std::string got(reinterpret_cast<char*>(out), first.length + second.length);
            EXPECT_EQ(got, c.out) << "split " << split;
            EXPECT_EQ(first.breakSeen || second.breakSeen, c.brk);
            EXPECT_EQ(first.errorSeen || second.errorSeen, c.err);
        }
    }
}

// A pseudo-terminal whose slave the device opens.
struct Pty {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    std::string slave;
    Pty() {
        ::grantpt(master);
        ::unlockpt(master);
        slave = ::ptsname(master);
    }
    ~Pty() {
        if (master >= 0) ::close(master);
    }
    void write(const std::string& s) { ASSERT_EQ(::write(master, s.data(), s.size()), (ssize_t)s.size()); }
    // Writes all of `s`, waiting while the terminal's buffer is full.
    void pour(const std::string& s) {
        std::size_t done = 0;
        while (done < s.size()) {
            const ssize_t n = sysio::write(master, s.data() + done, s.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else {
                pollfd p{master, POLLOUT, 0};
                ASSERT_GT(sysio::poll(&p, 1, 2000), 0) << "the device stopped taking bytes";
            }
        }
    }
    // What the device sent: up to `n` bytes, waiting at most two seconds for them.
    std::string read(std::size_t n) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + 2s;
        while (got.size() < n && std::chrono::steady_clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            char buf[256];
            if (sysio::poll(&p, 1, 100) <= 0) continue;
            const ssize_t k = sysio::read(master, buf, std::min(sizeof buf, n - got.size()));
            if (k > 0) got.append(buf, static_cast<std::size_t>(k));
        }
        return got;
    }
};

// Opens the pseudo-terminal's device with a line feed as its event character, every event
// watched, and `change` applied to its control block.
std::unique_ptr<Device> openForLines(const Pty& pty, const std::function<void(ControlBlock&)>& change = {}) {
    auto d = openDevice(pty.slave);
    ControlBlock b;
    if (!d || d->getState(&b) != Code::ok) return nullptr;
    b.evtChar = '\n';
    if (change) change(b);
    if (d->setState(b) != Code::ok || d->setEventMask(kEvAll) != Code::ok) return nullptr;
    return d;
}

// Waits for device events until one of `wanted` occurs; false when `ms` pass first.
bool awaitEvent(Device& d, std::uint32_t wanted, int ms = 2000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        Request wait;
        if (d.waitEvent(wait) == Code::pending && !wait.event().wait(50)) {
            d.setEventMask(kEvAll);  // ends the wait; the next round waits again
            continue;
        }
        std::uint32_t events = 0;
        if (wait.result(nullptr, true, &events) == Code::ok && (events & wanted)) return true;
    }
    return false;
}

std::string readQueued(Device& d) {
    QueueStatus q;
    d.clearError(nullptr, &q);
    std::string got(q.inQueue, '\0');
    Request r;
    std::uint32_t n = 0;
    if (d.read(r, got.data(), q.inQueue) != Code::ok || r.result(&n, false) != Code::ok) return "read failed";
    return got.substr(0, n);
}

TEST(TermiosDevice, ExclusiveOpenAndWhyAnOpenFailed) {
    Pty pty;
    Failure why;
    auto first = openDevice(pty.slave, &why);
    ASSERT_TRUE(first) << why.cause();
    EXPECT_FALSE(openDevice(pty.slave, &why));
    EXPECT_EQ(why.code, Code::busy);
    EXPECT_EQ(why.cause(), pty.slave + ": busy (already in use)");
    first.reset();
    EXPECT_TRUE(openDevice(pty.slave, &why));

    EXPECT_FALSE(openDevice("/dev/nonexistent-tty", &why));
    EXPECT_EQ(why.code, Code::notFound);
    EXPECT_EQ(why.error, ENOENT);
    EXPECT_EQ(why.cause(), "/dev/nonexistent-tty: no such device");
    EXPECT_FALSE(openDevice("/dev/null", &why));
    EXPECT_EQ(why.cause(), "/dev/null: not a serial port");
    EXPECT_FALSE(openDevice(resolvePort("COM97", {}), &why));
    EXPECT_EQ(why.cause(), "COM97: no such device");
}

// Runs `body` in a child process without root's privileges (as nobody when we are root) and
// returns what it wrote.
std::string unprivileged(const std::function<std::string()>& body) {
    int out[2];
    if (::pipe(out) != 0) return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        const std::string text = body();
        sysio::writeAll(out[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string text;
    char buf[256];
    for (ssize_t n; (n = sysio::read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return text;
}

TEST(TermiosDevice, APermissionRefusedNamesTheGroupThatMayOpen) {
    Pty pty;
    // The device as udev leaves a serial adapter: read and write for its owner and its group.
    const group* dialout = ::getgrnam("dialout");
    ASSERT_NE(dialout, nullptr);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(pty.slave.c_str(), 0, dialout->gr_gid), 0);
        ASSERT_EQ(::chmod(pty.slave.c_str(), 0660), 0);
    } else {
        ASSERT_EQ(::chmod(pty.slave.c_str(), 0), 0);  // closed even to its owner
    }
    const std::string said = unprivileged([&] {
        Failure why;
        if (openDevice(pty.slave, &why)) return std::string("opened");
        return std::string(codeName(why.code)) + "|" + why.cause();
    });
    const std::string group = ::geteuid() == 0 ? " (the device belongs to the group dialout)" : "";
    EXPECT_EQ(said, "access denied|" + pty.slave + ": permission denied" + group);
}

TEST(TermiosDevice, InterruptedCallsAndShortTransfersLoseNothing) {
    Pty pty;
    sysio::Choppy faults(3);
    sysio::setFaults(&faults);
    auto d = openForLines(pty);
    ASSERT_TRUE(d);
    Request wait;
    ASSERT_EQ(d->waitEvent(wait), Code::pending);
    const std::string line = "!0010ABCDEFGHIJKLMNOP\r\n";
    pty.write(line);
    ASSERT_TRUE(wait.event().wait(2000));
    std::uint32_t events = 0;
    ASSERT_EQ(wait.result(nullptr, false, &events), Code::ok);
    // Arriving three bytes at a time, the line may still be coming in: read all of it.
    std::string got(line.size(), '\0');
    Request r;
    ASSERT_NE(d->read(r, got.data(), static_cast<std::uint32_t>(got.size())), Code::failed);
    std::uint32_t n = 0;
    ASSERT_EQ(r.result(&n, true), Code::ok);
    EXPECT_EQ(got, line);

    const std::string frame = "$0010" + std::string(40, 'w') + "\r";
    Request w;
    d->write(w, frame.data(), static_cast<std::uint32_t>(frame.size()));
    ASSERT_EQ(w.result(&n, true), Code::ok);
    EXPECT_EQ(n, frame.size());
    sysio::setFaults(nullptr);
    EXPECT_EQ(pty.read(frame.size()), frame);
    EXPECT_GT(faults.interrupted(), 10);
}

TEST(TermiosDevice, ReceivesFFAndFlagsAndWaitsForEvents) {
    Pty pty;
    auto d = openForLines(pty, [](ControlBlock& b) {
        b.baudRate = 115200;
        b.parityCheck = true;
    });
    ASSERT_TRUE(d);
    Request wait;
    ASSERT_EQ(d->waitEvent(wait), Code::pending);
    pty.write(std::string("\xff\x00z\n", 4));
    std::uint32_t events = 0;
    ASSERT_TRUE(wait.event().wait(2000));
    ASSERT_EQ(wait.result(nullptr, false, &events), Code::ok);
    EXPECT_TRUE(events & kEvRxChar);
    EXPECT_TRUE(events & kEvRxFlag);
    char buf[8];
    Request r;
    ASSERT_EQ(d->read(r, buf, 4), Code::ok);  // already queued: completes at once
    EXPECT_EQ(std::string(buf, 4), std::string("\xff\x00z\n", 4));
    std::uint32_t errors = 1;
    QueueStatus q;
    ASSERT_EQ(d->clearError(&errors, &q), Code::ok);
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(q.inQueue, 0u);
}

TEST(TermiosDevice, ALongRunWithoutTheEventCharacterStillLetsTheNextLineThrough) {
    Pty pty;
    auto d = openForLines(pty);
    ASSERT_TRUE(d);
    // Nobody reads without a line feed: the queue fills, and the line's end must still be seen.
    pty.pour(std::string(9000, 'x'));
    pty.pour("!0010ab\r\n");
    ASSERT_TRUE(awaitEvent(*d, kEvRxFlag)) << "the line feed stayed behind the full queue";
    std::uint32_t errors = 0;
    QueueStatus q;
    ASSERT_EQ(d->clearError(&errors, &q), Code::ok);
    EXPECT_TRUE(errors & kRxOverflow);
    EXPECT_EQ(q.inQueue, 8192u);
    // The oldest bytes gave way: the line the event announced is there to be read.
    const std::string queued = readQueued(*d);
    EXPECT_EQ(queued.size(), 8192u);
    EXPECT_EQ(queued.substr(queued.size() - 9), "!0010ab\r\n");
    // And the lines after it come as ever.
    pty.pour("!0013\r\n");
    ASSERT_TRUE(awaitEvent(*d, kEvRxFlag));
    EXPECT_EQ(readQueued(*d), "!0013\r\n");
    ASSERT_EQ(d->clearError(&errors, nullptr), Code::ok);
    EXPECT_EQ(errors, 0u);
}

TEST(TermiosDevice, UnderInputFlowControlAFullQueueHoldsTheFarEndBackInstead) {
    Pty pty;
    auto d = openForLines(pty, [](ControlBlock& b) { b.inX = true; });
    ASSERT_TRUE(d);
    pty.pour(std::string(9000, 'x') + "\n");
    std::this_thread::sleep_for(100ms);  // well past the moment an unguarded line would spill
    std::uint32_t errors = 0;
    QueueStatus q;
    ASSERT_EQ(d->clearError(&errors, &q), Code::ok);
    EXPECT_EQ(errors & kRxOverflow, 0u);
    EXPECT_EQ(q.inQueue, 8192u);
    EXPECT_EQ(readQueued(*d), std::string(8192, 'x'));
    // Room again: the rest comes in, nothing lost.
    ASSERT_TRUE(awaitEvent(*d, kEvRxFlag));
    EXPECT_EQ(readQueued(*d), std::string(808, 'x') + "\n");
}

TEST(TermiosDevice, AFormatTheDeviceDoesNotTakeIsRefusedAndChangesNothing) {
    Pty pty;
    auto d = openForLines(pty, [](ControlBlock& b) { b.baudRate = 57600; });
    ASSERT_TRUE(d);
    ControlBlock b;
    ASSERT_EQ(d->getState(&b), Code::ok);
    // A pseudo-terminal carries 8 data bits without parity, whatever it is told.
    for (std::uint8_t parity : {kParityOdd, kParityEven, kParityMark, kParitySpace}) {
        ControlBlock asked = b;
        asked.parity = parity;
        asked.baudRate = 9600;
        EXPECT_NE(d->setState(asked), Code::ok) << int(parity);
        ControlBlock now;
        ASSERT_EQ(d->getState(&now), Code::ok);
        EXPECT_EQ(now.parity, kParityNone);
        EXPECT_EQ(now.baudRate, 57600u) << "a refused block left the rate changed";
    }
    ControlBlock seven = b;
    seven.byteSize = 7;
    EXPECT_NE(d->setState(seven), Code::ok);
    // What it does take reads back as asked.
    ControlBlock two = b;
    two.stopBits = kTwoStopBits;
    EXPECT_EQ(d->setState(two), Code::ok);
    ControlBlock now;
    ASSERT_EQ(d->getState(&now), Code::ok);
    EXPECT_EQ(now.stopBits, kTwoStopBits);
    EXPECT_EQ(now.byteSize, 8);
}

TEST(TermiosDevice, HangUpFailsWaitsAndQueriesOnce) {
    Pty pty;
    auto d = openDevice(pty.slave);
    ASSERT_TRUE(d);
    d->setEventMask(kEvAll);
    Request wait;
    ASSERT_EQ(d->waitEvent(wait), Code::pending);
    char buf[4];
    Request r;
    ASSERT_EQ(d->read(r, buf, 4), Code::pending);
    ::close(pty.master);
    pty.master = -1;
    ASSERT_TRUE(r.event().wait(2000));
    EXPECT_EQ(r.result(nullptr, false), Code::hungUp);
    EXPECT_EQ(wait.result(nullptr, true), Code::hungUp);
    std::uint32_t errors;
    EXPECT_EQ(d->clearError(&errors, nullptr), Code::hungUp);
    ControlBlock b;
    EXPECT_EQ(d->getState(&b), Code::hungUp);
}

TEST(TermiosDevice, CancelIoFinishesOnlyTheCallersRequests) {
    Pty pty;
    auto d = openDevice(pty.slave);
    char mine[4], theirs[4];
    Request a, b;
    ASSERT_EQ(d->read(a, mine, 4), Code::pending);
    std::thread other([&] { EXPECT_EQ(d->read(b, theirs, 2), Code::pending); });
    other.join();
    ASSERT_EQ(d->cancelIo(), Code::ok);
    EXPECT_EQ(a.result(nullptr, false), Code::cancelled);
    EXPECT_EQ(b.result(nullptr, false), Code::incomplete);
    pty.write("hi");
    std::uint32_t n = 0;
    EXPECT_EQ(b.result(&n, true), Code::ok);
    EXPECT_EQ(std::string(theirs, n), "hi");
}

TEST(NullModem, CrossesDataLinesAndHoldsOnFlowControl) {
    auto cable = NullModem::create("NM-DEV-A", "NM-DEV-B");
    auto a = openDevice("NM-DEV-A");
    auto b = openDevice("NM-DEV-B");
    ASSERT_TRUE(a && b);
    EXPECT_FALSE(openDevice("NM-DEV-A"));
    ControlBlock cb;
    a->getState(&cb);
    cb.outxCtsFlow = true;
    a->setState(cb);
    b->escape(Escape::clrRts);  // our CTS goes off: output waits
    Request w;
    ASSERT_EQ(a->write(w, "abc", 3), Code::pending);
    QueueStatus q;
    a->clearError(nullptr, &q);
    EXPECT_EQ(q.outQueue, 3u);
    b->escape(Escape::setRts);
    std::uint32_t n = 0;
    EXPECT_EQ(w.result(&n, true), Code::ok);
    EXPECT_EQ(n, 3u);
    b->clearError(nullptr, &q);
    EXPECT_EQ(q.inQueue, 3u);
}

TEST(NullModem, QueueOverflowIsFlaggedAndTheNewestBytesStay) {
    auto cable = NullModem::create("NM-OVF-A", "NM-OVF-B");
    auto a = openDevice("NM-OVF-A");
    auto b = openDevice("NM-OVF-B");
    const std::string big = std::string(8999, 'x') + "\n";
    Request w;
    a->write(w, big.data(), static_cast<std::uint32_t>(big.size()));
    std::uint32_t errors = 0;
    QueueStatus q;
    b->clearError(&errors, &q);
    EXPECT_EQ(q.inQueue, 8192u);
    EXPECT_TRUE(errors & kRxOverflow);
    EXPECT_EQ(readQueued(*b), big.substr(big.size() - 8192));
}

}  // namespace
