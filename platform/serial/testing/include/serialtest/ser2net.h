// A real ser2net for tests of remote ports: it serves one device on 127.0.0.1, with RFC 2217
// on one free port and raw TCP on another, and is stopped by its process id. Header only, so
// that the tests of other rooms can use it too.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace sertest {

// A loopback port that nothing uses at the moment.
inline int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = -1;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

// Whether something listens on 127.0.0.1:port (from /proc/net/tcp: no connection is made, so
// the server sees nobody come and go).
inline bool listening(int port) {
    std::ifstream in("/proc/net/tcp");
    std::string line;
    char want[32];
    std::snprintf(want, sizeof want, "0100007F:%04X", port);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == want && state == "0A") return true;
    }
    return false;
}

// Where ser2net is: on the search path, or in /usr/sbin, which a user's path may leave out.
inline std::string ser2netProgram() {
    std::string path = ::getenv("PATH") ? ::getenv("PATH") : "";
    path += ":/usr/sbin:/sbin";
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        const std::string candidate = path.substr(start, end - start) + "/ser2net";
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

class Ser2net {
public:
    // Serves `device` (a pseudo-terminal's slave) at `line` ("115200n81"), configured as our
    // documentation advises: without `charDelay`, ser2net passes what the device sends at once
    // rather than wait a millisecond or more for more to come. `folder` holds its
    // configuration and log.
    Ser2net(const std::string& device, const std::string& folder, const std::string& line = "115200n81",
            bool charDelay = false)
        : rfc2217Port_(freePort()), rawPort_(freePort()), log_(folder + "/ser2net.log") {
        const std::string config = folder + "/ser2net.yaml";
        const std::string options =
            std::string("  options:\n    chardelay: ") + (charDelay ? "true" : "false") + "\n";
        std::ofstream(config) << "%YAML 1.1\n---\n"
                              << "connection: &rfc2217\n"
                              << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << rfc2217Port_ << "\n"
                              << "  connector: serialdev," << device << "," << line << ",local\n"
                              << options << "connection: &raw\n"
                              << "  accepter: tcp,127.0.0.1," << rawPort_ << "\n"
                              << "  connector: serialdev," << device << "," << line << ",local\n"
                              << options;
        const std::string program = ser2netProgram();
        if (program.empty()) throw std::runtime_error("ser2net is not installed (Debian package ser2net)");
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only what exec needs: no copy of the test's descriptors (a pseudo-terminal's
            // master among them) may live on in the server.
            const int out = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
            ::dup2(out, 2);
            ::close_range(3, ~0U, 0);
            // A test that dies takes its server with it.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            // -n: stay in the foreground, -d: log to standard output, -u: no UUCP lock files.
            ::execl(program.c_str(), "ser2net", "-n", "-d", "-u", "-c", config.c_str(), nullptr);
            ::_exit(127);
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!(listening(rfc2217Port_) && listening(rawPort_))) {
            int status;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                throw std::runtime_error("ser2net did not start: " + log());
            }
            if (std::chrono::steady_clock::now() > until) throw std::runtime_error("ser2net does not listen");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~Ser2net() { stop(); }
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    std::string rfc2217() const { return "rfc2217://127.0.0.1:" + std::to_string(rfc2217Port_); }
    std::string raw() const { return "socket://127.0.0.1:" + std::to_string(rawPort_); }

    // Kills it at once, as a machine that goes away would, and waits for it to end.
    void stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    std::string log() const {
        std::ifstream in(log_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    int rfc2217Port_;
    int rawPort_;
    std::string log_;
    pid_t pid_ = -1;
};

}  // namespace sertest
