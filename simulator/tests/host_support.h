// The console's end of the wire for the simulator's own tests: a raw slave descriptor.
#pragma once

#include <chrono>
#include <string>

namespace simtest {

class Host {
public:
    explicit Host(const std::string& device);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    void send(const std::string& bytes);
    // The rate of the host's end: 9600 or 115200 baud.
    void setLine(int baud);
    // Bytes up to and including the next LF; what has arrived when the time runs out otherwise.
    std::string line(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    // Everything that arrives within `span`.
    std::string collect(std::chrono::milliseconds span);
    // One read as soon as something arrives ("" on time-out).
    std::string readSome(std::chrono::milliseconds timeout);
    // "$" + body + CR, then the reply line.
    std::string ask(const std::string& body) {
        send("$" + body + "\r");
        return line();
    }
    // True when the device has hung up (read returns 0 or EIO, or poll reports POLLHUP).
    bool hungUp(std::chrono::milliseconds timeout);

private:
    int fd_ = -1;
    std::string pending_;
};

}  // namespace simtest
