// The link side of the simulator: the pseudo-terminal, the thread that serves it, line-rate
// pacing and the faults. The firmware (firmware.h) decides what to answer; this file decides
// when and how the bytes go out.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sysio/sysio.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "firmware.h"
#include "linesettings.h"
#include "sim/simulator.h"

namespace sim {

namespace {

constexpr std::array<std::pair<Fault, std::string_view>, 6> kFaultNames{{
    {Fault::Silence, "silence"},
    {Fault::Split, "split"},
    {Fault::NoLineFeed, "nolf"},
    {Fault::Garbage, "garbage"},
    {Fault::Nul, "nul"},
    {Fault::Burst, "burst"},
}};

constexpr std::size_t kFrameLog = 10000;      // frames kept for framesReceived()
constexpr std::size_t kMaxLine = 512;         // characters kept of a line without CR
constexpr std::size_t kMaxPending = 1 << 16;  // bytes queued for a host that does not read
constexpr std::size_t kMaxInput = 256;        // lines waiting while the firmware is busy
// Noise for the garbage fault: no "!", CR or LF, and no flow-control characters.
constexpr char kGarbage[] = "xy#\xFF~";

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);  // never retried: the descriptor is gone whatever close returns
    fd = -1;
}

Clock::duration byteTime(int baud) {
    if (baud <= 0) return Clock::duration::zero();
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(10'000'000'000LL / baud));
}

std::chrono::nanoseconds threadCpu(clockid_t id) {
    timespec ts{};
    if (::clock_gettime(id, &ts) != 0) return {};
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

}  // namespace

std::optional<Fault> faultFromName(std::string_view name) {
    for (const auto& [f, n] : kFaultNames)
        if (n == name) return f;
    return std::nullopt;
}

std::string_view faultName(Fault fault) {
    for (const auto& [f, n] : kFaultNames)
        if (f == fault) return n;
    return {};
}

struct Adapter::Impl {
    struct Frame {
        std::string text;
        Clock::time_point arrival;
    };
    // A piece of output: written whole (or, paced, byte by byte) not before `notBefore` and
    // not before `gap` after the previous piece was written.
    struct Segment {
        std::string bytes;
        Clock::time_point notBefore;
        Clock::duration gap{};
        bool scheduled = false;
        Clock::time_point start{};
        std::size_t pos = 0;
    };

    explicit Impl(const Options& o) : options(o), fw(o), pace(byteTime(o.paceBaud)) {}

    Options options;
    mutable std::mutex m;
    mutable std::condition_variable framesCv;

    // under m
    Firmware fw;
    std::array<bool, kFaultNames.size()> faults{};
    FaultTuning tuning;
    Clock::duration pace;
    std::deque<Frame> input;
    Clock::time_point busyUntil{};
    std::deque<Segment> tx;
    std::size_t txBytes = 0;
    Clock::time_point lineFreeAt{};
    Clock::time_point lastWriteEnd{};
    bool wantWritable = false;
    std::deque<std::string> frames;
    LinkStats counts;
    std::chrono::nanoseconds cpuDone{0};  // CPU time of threads that have ended
    bool threadAlive = false;
    bool powered = false;  // plugged in and running: an unplugged adapter sends nothing

    // the device; changed only while the thread is stopped
    int master = -1;
    int slave = -1;
    int wake = -1;
    std::string path;
    std::filesystem::path link;
    std::thread thread;
    std::atomic<bool> stopping{false};

    // receive assembly: thread only
    std::string line;
    bool inFrame = false;
    Clock::time_point rxClock{};

    bool fault(Fault f) const { return faults[static_cast<std::size_t>(f)]; }

    void openDevice();
    void closeDevice();
    void makeLink();
    void removeLink();
    void start();
    void halt();
    void loop();
    void wakeUp();

    void received(const char* data, std::size_t n, Clock::time_point when);
    std::optional<Clock::time_point> runInput(Clock::time_point now);
    std::optional<Clock::time_point> runOutput(Clock::time_point now);
    Clock::time_point emit(const Firmware::Replies& replies, Clock::time_point at);
    void queue(std::string bytes, Clock::time_point at);
};

// --- Device and link ------------------------------------------------------------------------

void Adapter::Impl::openDevice() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) fail("posix_openpt");
    char name[128];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) {
        const int e = errno;
        closeFd(master);
        throw std::system_error(e, std::generic_category(), "pseudo-terminal slave");
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    // Our own slave descriptor stays open for the adapter's lifetime, so the master does not
    // hang up while the console has the port closed. It is never read.
    slave = sysio::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (slave < 0) {
        const int e = errno;
        closeFd(master);
        throw std::system_error(e, std::generic_category(), name);
    }
    termios t{};
    if (::tcgetattr(slave, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cflag &= ~(PARENB | CSTOPB | CSIZE | CRTSCTS);
        t.c_cflag |= CS8 | CLOCAL | CREAD;
        ::cfsetispeed(&t, B115200);
        ::cfsetospeed(&t, B115200);
        ::tcsetattr(slave, TCSANOW, &t);
    }
    const int event = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (event < 0) {
        const int e = errno;
        closeFd(master);
        closeFd(slave);
        throw std::system_error(e, std::generic_category(), "eventfd");
    }
    path = name;
    std::lock_guard lock(m);
    wake = event;
}

void Adapter::Impl::closeDevice() {
    closeFd(master);
    closeFd(slave);
    path.clear();
    std::lock_guard lock(m);
    closeFd(wake);  // wakeUp() runs under the lock from any thread
    input.clear();
    tx.clear();
    txBytes = 0;
    wantWritable = false;
    line.clear();
    inFrame = false;
}

void Adapter::Impl::makeLink() {
    if (link.empty() || path.empty()) return;
    std::error_code ec;
    std::filesystem::remove(link, ec);
    std::filesystem::create_symlink(path, link);
}

void Adapter::Impl::removeLink() {
    if (link.empty()) return;
    // Only our own link: pseudo-terminal numbers are reused, and a stale COMn must not lead
    // the console to somebody else's device.
    std::error_code ec;
    if (std::filesystem::is_symlink(link, ec) && std::filesystem::read_symlink(link, ec) == path)
        std::filesystem::remove(link, ec);
}

// --- Thread ---------------------------------------------------------------------------------

void Adapter::Impl::start() {
    stopping = false;
    {
        std::lock_guard lock(m);
        threadAlive = true;
        powered = true;
    }
    thread = std::thread([this] { loop(); });
}

void Adapter::Impl::halt() {
    if (!thread.joinable()) return;
    stopping = true;
    {
        std::lock_guard lock(m);
        powered = false;
        wakeUp();
    }
    thread.join();
}

void Adapter::Impl::wakeUp() {
    if (wake < 0) return;
    sysio::signalEvent(wake);
}

void Adapter::Impl::loop() {
    ::prctl(PR_SET_TIMERSLACK, 1UL);  // paced output needs wake-ups to the microsecond
    char buf[4096];
    Clock::time_point masterQuietUntil{};
    while (!stopping) {
        Clock::time_point now = Clock::now();
        std::optional<Clock::time_point> deadline;
        bool writable;
        {
            std::lock_guard lock(m);
            const auto a = runInput(now);
            const auto b = runOutput(now);
            deadline = a && b ? std::min(*a, *b) : a ? a : b;
            writable = wantWritable;
        }
        const bool watchMaster = now >= masterQuietUntil;
        if (!watchMaster) deadline = deadline ? std::min(*deadline, masterQuietUntil) : masterQuietUntil;

        pollfd fds[2] = {{wake, POLLIN, 0},
                         {watchMaster ? master : -1, short(POLLIN | (writable ? POLLOUT : 0)), 0}};
        if (sysio::pollUntil(fds, 2, deadline) < 0) break;

        if (fds[0].revents & POLLIN) sysio::drainEvent(wake);
        if (fds[1].revents & POLLOUT) {
            std::lock_guard lock(m);
            wantWritable = false;
        }
        if (fds[1].revents & POLLIN) {
            const ssize_t n = sysio::read(master, buf, sizeof buf);
            if (n > 0) {
                // At other line settings the adapter's UART sees only framing errors.
                if (!options.checkLineSettings || hostMatchesAdapter(slave))
                    received(buf, static_cast<std::size_t>(n), Clock::now());
            } else if (n == 0 || errno != EAGAIN) {
                masterQuietUntil = Clock::now() + std::chrono::milliseconds(20);
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            // No slave open (cannot happen while we hold ours): do not spin on the hang-up.
            masterQuietUntil = Clock::now() + std::chrono::milliseconds(20);
        }
    }
    std::lock_guard lock(m);
    cpuDone += threadCpu(CLOCK_THREAD_CPUTIME_ID);
    threadAlive = false;
}

void Adapter::Impl::received(const char* data, std::size_t n, Clock::time_point when) {
    std::lock_guard lock(m);
    counts.bytesReceived += n;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = data[i];
        // Paced, each byte takes its 10 bit times on the wire after the one before it.
        if (pace != Clock::duration::zero()) rxClock = std::max(rxClock, when) + pace;
        if (!inFrame) {
            if (c == '$') {
                inFrame = true;
                line.clear();
            }
            continue;
        }
        if (c == '\r') {
            const Clock::time_point arrival = pace != Clock::duration::zero() ? rxClock : when;
            // A host that floods a busy adapter overruns it: the excess lines are lost.
            if (input.size() < kMaxInput) input.push_back({line, arrival});
            frames.push_back(line);
            if (frames.size() > kFrameLog) frames.pop_front();
            ++counts.framesReceived;
            inFrame = false;
            line.clear();
        } else if (c != '\n' && line.size() < kMaxLine) {
            line += c;
        }
    }
    framesCv.notify_all();
}

std::optional<Clock::time_point> Adapter::Impl::runInput(Clock::time_point now) {
    while (!input.empty()) {
        const Frame& f = input.front();
        // The firmware takes the next line when it has finished with the previous one.
        const Clock::time_point t = std::max(f.arrival, busyUntil);
        if (t > now) return t;
        busyUntil = emit(fw.line(f.text, t), t);
        input.pop_front();
    }
    return std::nullopt;
}

Clock::time_point Adapter::Impl::emit(const Firmware::Replies& replies, Clock::time_point at) {
    for (const Firmware::Reply& r : replies) {
        at += r.after;
        if (!powered || fault(Fault::Silence)) continue;
        std::string bytes;
        if (fault(Fault::Burst))
            for (std::size_t k = 1; k <= tuning.burstLines; ++k)
                bytes += "unrelated line " + std::to_string(k) + "\r\n";
        if (fault(Fault::Garbage))
            for (std::size_t k = 0; k < tuning.garbageBytes; ++k)
                bytes += kGarbage[k % (sizeof kGarbage - 1)];
        if (fault(Fault::Nul)) bytes += '\0';
        bytes += '!';
        bytes += r.text;
        bytes += fault(Fault::NoLineFeed) ? "\r" : "\r\n";
        queue(std::move(bytes), at);
    }
    return at;
}

void Adapter::Impl::queue(std::string bytes, Clock::time_point at) {
    if (txBytes + bytes.size() > kMaxPending) return;  // the host has stopped reading
    txBytes += bytes.size();
    if (!fault(Fault::Split) || tuning.splitBytes == 0) {
        tx.push_back({std::move(bytes), at});
        return;
    }
    for (std::size_t i = 0; i < bytes.size(); i += tuning.splitBytes)
        tx.push_back(
            {bytes.substr(i, tuning.splitBytes), at, i == 0 ? Clock::duration{} : tuning.splitPause});
}

std::optional<Clock::time_point> Adapter::Impl::runOutput(Clock::time_point now) {
    while (!tx.empty() && !wantWritable) {
        Segment& s = tx.front();
        if (!s.scheduled) {
            s.start = std::max(s.notBefore, s.gap != Clock::duration{} ? lastWriteEnd + s.gap : s.notBefore);
            s.scheduled = true;
        }
        if (s.start > now) return s.start;
        std::size_t n = s.bytes.size() - s.pos;
        if (pace != Clock::duration::zero()) {
            // Bytes whose last bit has left the wire by now; the schedule, not the loop's
            // wake-ups, sets the rate.
            Clock::time_point free = std::max(s.start, lineFreeAt);
            n = 0;
            while (s.pos + n < s.bytes.size() && free + pace <= now) {
                free += pace;
                ++n;
            }
            if (n == 0) return free + pace;
            lineFreeAt = free;
        }
        // At other line settings nothing the adapter sends is understood by the host: the
        // bytes are lost as framing errors would lose them.
        const bool understood = !options.checkLineSettings || hostMatchesAdapter(slave);
        const ssize_t w =
            understood ? sysio::write(master, s.bytes.data() + s.pos, n) : static_cast<ssize_t>(n);
        if (w < 0) {
            if (errno == EAGAIN) {
                wantWritable = true;
                return std::nullopt;
            }
            tx.clear();  // the device is gone; what was queued is lost as on a pulled cable
            txBytes = 0;
            return std::nullopt;
        }
        s.pos += static_cast<std::size_t>(w);
        if (understood) counts.bytesSent += static_cast<std::uint64_t>(w);
        txBytes -= static_cast<std::size_t>(w);
        if (static_cast<std::size_t>(w) < n) {
            wantWritable = true;
            return std::nullopt;
        }
        if (s.pos == s.bytes.size()) {
            lastWriteEnd = Clock::now();
            tx.pop_front();
        }
    }
    return std::nullopt;
}

// --- Adapter --------------------------------------------------------------------------------

Adapter::Adapter(Options options) : impl_(std::make_unique<Impl>(options)) {
    impl_->openDevice();
    impl_->start();
}

Adapter::~Adapter() {
    stop();
}

std::string Adapter::devicePath() const {
    return impl_->path;
}

void Adapter::linkAs(const std::filesystem::path& dir, int com) {
    if (com < 1 || com > 999) throw std::invalid_argument("COM number is 1..999");
    impl_->removeLink();
    impl_->link = dir / ("COM" + std::to_string(com));
    impl_->makeLink();
}

void Adapter::setModel(Model model) {
    std::lock_guard lock(impl_->m);
    impl_->fw.setModel(model);
}

Model Adapter::model() const {
    std::lock_guard lock(impl_->m);
    return impl_->fw.model();
}

void Adapter::setFirmwareVersion(int version, int revision) {
    std::lock_guard lock(impl_->m);
    impl_->fw.setFirmwareVersion(version, revision);
}

void Adapter::setPacing(int baud) {
    if (baud < 0) throw std::invalid_argument("baud rate is 0 (off) or positive");
    std::lock_guard lock(impl_->m);
    impl_->pace = byteTime(baud);
    impl_->wakeUp();
}

void Adapter::setFault(Fault fault, bool on) {
    std::lock_guard lock(impl_->m);
    impl_->faults[static_cast<std::size_t>(fault)] = on;
}

void Adapter::clearFaults() {
    std::lock_guard lock(impl_->m);
    impl_->faults.fill(false);
}

void Adapter::setFaultTuning(const FaultTuning& tuning) {
    std::lock_guard lock(impl_->m);
    impl_->tuning = tuning;
}

void Adapter::setInterruptInput(bool high) {
    std::lock_guard lock(impl_->m);
    const Clock::time_point t = std::max(Clock::now(), impl_->busyUntil);
    impl_->busyUntil = impl_->emit(impl_->fw.interruptInput(high, t), t);
    impl_->wakeUp();
}

void Adapter::toggleInterruptInput() {
    bool level;
    {
        std::lock_guard lock(impl_->m);
        level = impl_->fw.state().interruptInput;
    }
    setInterruptInput(!level);
}

void Adapter::setGpioInput(int pin, bool high) {
    if (pin < 0 || pin > 3) throw std::invalid_argument("GPIO pin is 0..3");
    std::lock_guard lock(impl_->m);
    impl_->fw.setGpioInput(pin, high);
}

void Adapter::setTemperature(double celsius) {
    std::lock_guard lock(impl_->m);
    impl_->fw.setTemperature(celsius);
}

BusState Adapter::bus() const {
    std::lock_guard lock(impl_->m);
    return impl_->fw.state();
}

std::vector<std::uint8_t> Adapter::programMemory() const {
    std::lock_guard lock(impl_->m);
    return impl_->fw.programMemory();
}

void Adapter::enterBootloader() {
    std::lock_guard lock(impl_->m);
    impl_->fw.enterBootloader();
}

std::chrono::microseconds Adapter::flashTimePerLine() const {
    std::lock_guard lock(impl_->m);
    return impl_->fw.flashTimePerLine();
}

void Adapter::setFlashTimePerLine(std::chrono::microseconds perLine) {
    if (perLine.count() < 0) throw std::invalid_argument("flash time is not negative");
    std::lock_guard lock(impl_->m);
    impl_->fw.setFlashTimePerLine(perLine);
}

std::vector<std::string> Adapter::framesReceived() const {
    std::lock_guard lock(impl_->m);
    return {impl_->frames.begin(), impl_->frames.end()};
}

bool Adapter::waitForFrames(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(impl_->m);
    return impl_->framesCv.wait_for(lock, timeout, [&] { return impl_->counts.framesReceived >= count; });
}

LinkStats Adapter::stats() const {
    std::lock_guard lock(impl_->m);
    LinkStats s = impl_->counts;
    s.cpuTime = impl_->cpuDone;
    if (impl_->threadAlive) {
        clockid_t id;
        if (::pthread_getcpuclockid(impl_->thread.native_handle(), &id) == 0) s.cpuTime += threadCpu(id);
    }
    return s;
}

void Adapter::unplug() {
    impl_->halt();
    impl_->removeLink();
    impl_->closeDevice();
}

void Adapter::replug() {
    if (plugged()) return;
    impl_->openDevice();
    impl_->makeLink();
    {
        std::lock_guard lock(impl_->m);
        impl_->fw.powerUp();
        impl_->busyUntil = {};
    }
    impl_->start();
}

bool Adapter::plugged() const {
    return impl_->master >= 0;
}

void Adapter::stop() {
    impl_->halt();
    impl_->removeLink();
    impl_->closeDevice();
}

}  // namespace sim
