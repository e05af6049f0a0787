// A SerialControl over a terminal device for the bootloader's tests: raw 8N1, a reader thread
// that queues what arrives and, whenever a line feed has come, posts the line handler into
// the opening thread's component apartment, as the Veskor control's monitor thread does.
// Records every write, so tests can say exactly which frames went out.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/base/serialcontrol.h"

namespace boottest {

class PtyControl : public sarnel::SerialControl {
public:
    PtyControl();
    ~PtyControl() override;

    void open(const std::string& portName, const std::string& settings) override;
    void close() override;
    bool isOpen() override { return fd_ >= 0; }
    std::string portName() override { return path_; }
    std::int32_t write(const std::string& data, std::int32_t count, std::int32_t timeoutMs) override;
    void writeBackground(const std::string& data) override { write(data, 0, 1000); }
    std::string read() override;
    std::int32_t getBreak() override { return breakState_; }
    void setBreak(std::int32_t value) override { breakState_ = value; }
    void clearRQ() override;
    void clearTQ() override {}
    void setLineHandler(std::function<void()> handler) override;

    // Every frame written, in order.
    std::vector<std::string> written();
    // The next read or write throws ConsoleError with this number (0: none).
    void failNextRead(std::int32_t number) { failRead_ = number; }
    void failNextWrite(std::int32_t number) { failWrite_ = number; }
    int opens() const { return opens_; }
    int closes() const { return closes_; }
    std::string lastSettings() const { return settings_; }

private:
    void readerLoop();

    struct Shared;
    std::shared_ptr<Shared> shared_;
    int fd_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::thread reader_;
    std::string path_;
    std::string settings_;
    std::int32_t breakState_ = 0;
    std::int32_t failRead_ = 0;
    std::int32_t failWrite_ = 0;
    int opens_ = 0;
    int closes_ = 0;
};

}  // namespace boottest
