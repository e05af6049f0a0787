// An adapter played by the test on a pseudo-terminal: sarnel-cli opens its device path like a
// real adapter's, and every frame it sends (the text before a CR) is answered by the test's
// function, piece by piece and with pauses, so that replies can come late, split or behind
// reports the program did not ask for.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace clitest {

// Bytes to send after a pause.
struct Piece {
    std::chrono::milliseconds after{0};
    std::string bytes;
};

class FakeAdapter {
public:
    using Answer = std::function<std::vector<Piece>(const std::string& frame)>;

    explicit FakeAdapter(Answer answer);
    ~FakeAdapter();
    FakeAdapter(const FakeAdapter&) = delete;
    FakeAdapter& operator=(const FakeAdapter&) = delete;

    // The device path the program opens (/dev/pts/N).
    const std::string& path() const { return path_; }
    // Every frame received so far, without its CR.
    std::vector<std::string> frames();
    // Waits until `count` frames have come; false after `timeout`.
    bool waitForFrames(std::size_t count, std::chrono::milliseconds timeout);

private:
    void serve();

    Answer answer_;
    int master_ = -1;
    int slave_ = -1;  // kept open, so the device stays while the program opens and closes it
    int stop_[2] = {-1, -1};
    std::string path_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::string> frames_;
    std::thread thread_;
};

}  // namespace clitest
