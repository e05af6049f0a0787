// How close `sarnel-cli run --repeat 1000` comes to the serial link's limit: a two-byte LM75
// register read against the simulator paced at 115200 baud, beside a bare loop that writes the
// same frame to the pseudo-terminal and reads the reply, on the same simulator.
//
// The link's limit: each round trip carries the frame and the reply, 10 bits a byte, one
// after the other (the adapter answers a frame once it has all of it).
//
//   repeat_bench [ROUNDS]   (default 3; the median of the rounds is shown last)
#include <fcntl.h>
#include <poll.h>
#include <sim/simulator.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBaud = 115200;
constexpr int kRuns = 1000;
const std::string kScript = "Start|Write 0x90|Write 0x00|Start|Write 0x91|Read Ack|Read Nack|Stop\n";
const std::string kFrame = "$00100C0001900100000191020304\r";
const std::string kReply = "!0010sW90aW00asW91aR19aR00np\r\n";

double limit() {
    return kBaud / (10.0 * static_cast<double>(kFrame.size() + kReply.size()));
}

// The bare loop: the frame written, the reply read up to its LF, again.
double bare(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return 0;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B115200);
    ::tcsetattr(fd, TCSANOW, &t);
    ::tcflush(fd, TCIOFLUSH);
    const auto start = Clock::now();
    int done = 0;
    for (; done < kRuns; ++done) {
        if (::write(fd, kFrame.data(), kFrame.size()) != static_cast<ssize_t>(kFrame.size())) break;
        std::string got;
        while (got.empty() || got.back() != '\n') {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0) break;
            char buf[256];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        if (got != kReply) break;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(fd);
    return done == kRuns ? kRuns / seconds : 0;
}

struct CliFigures {
    double wall = 0;    // round trips a second over the whole process, start-up included
    double steady = 0;  // the command's own figure (its summary)
    std::string summary;
};

// sarnel-cli run --repeat 1000 on the device, its summary read from standard error.
CliFigures cli(const std::string& program, const std::string& device, const std::string& folder) {
    const std::string script = folder + "/lm75.txt";
    const std::string err = folder + "/stderr.txt";
    std::ofstream(script) << kScript;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, script.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> args{program, "run", "--repeat", std::to_string(kRuns), "--port", device};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    CliFigures f;
    pid_t pid = -1;
    const auto start = Clock::now();
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return f;
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::ifstream in(err);
    for (std::string line; std::getline(in, line);)
        if (line.find("runs a second") != std::string::npos) f.summary = line;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || f.summary.empty()) return f;
    f.wall = kRuns / seconds;
    const std::size_t at = f.summary.rfind(", ");
    f.steady = std::atof(f.summary.c_str() + at + 2);
    return f;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void row(const char* what, double rate) {
    std::printf("  %-44s %7.1f round trips/s  %5.1f %% of the limit\n", what, rate, 100.0 * rate / limit());
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::filesystem::path here = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    const std::string program = (here / "sarnel-cli").string();
    char pattern[] = "/tmp/repeat-bench-XXXXXX";
    const char* folder = ::mkdtemp(pattern);
    if (!folder) return 1;

    sim::Options options;
    options.paceBaud = kBaud;
    sim::Adapter adapter(options);
    const std::string device = adapter.devicePath();

    std::printf(
        "LM75 two-byte register read, simulator paced at %d baud: a %zu-byte frame and a %zu-byte\n"
        "reply, 10 bits a byte: the link's limit is %.1f round trips a second.\n",
        kBaud, kFrame.size(), kReply.size(), limit());
    std::vector<double> bares, steadies, walls;
    for (int r = 1; r <= rounds; ++r) {
        std::printf("round %d\n", r);
        bares.push_back(bare(device));
        row("bare write-and-read loop, 1000 round trips", bares.back());
        const CliFigures f = cli(program, device, folder);
        steadies.push_back(f.steady);
        walls.push_back(f.wall);
        row("sarnel-cli run --repeat 1000 (its summary)", f.steady);
        row("sarnel-cli run --repeat 1000 (with start-up)", f.wall);
        if (f.summary.empty())
            std::printf("  sarnel-cli run failed (see %s/stderr.txt)\n", folder);
        else
            std::printf("  %s\n", f.summary.c_str());
    }
    std::printf("median of %d rounds\n", rounds);
    row("bare write-and-read loop", median(bares));
    row("sarnel-cli run --repeat 1000 (its summary)", median(steadies));
    row("sarnel-cli run --repeat 1000 (with start-up)", median(walls));
    std::printf("  sarnel-cli against the bare loop: %.1f %%\n", 100.0 * median(steadies) / median(bares));
    std::filesystem::remove_all(folder);
    return median(steadies) > 0 ? 0 : 1;
}
