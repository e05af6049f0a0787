// A serial control without a device, for the console's logic tests: named ports with a
// scripted far end. Replies are delivered the way the component delivers them: the line
// event is posted into the owning thread's apartment and runs when that thread lets events
// run (a pause, processEvents).
#pragma once

#include <com/apartment.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "console/base/consoleerror.h"
#include "console/base/serialcontrol.h"

namespace sarnel::testing {

inline constexpr std::int32_t kOpenFailed = static_cast<std::int32_t>(0x80040205);
inline constexpr std::int32_t kWriteFailed = static_cast<std::int32_t>(0x80040206);
inline constexpr std::int32_t kUnexpected = static_cast<std::int32_t>(0x8000FFFF);

struct FakePort {
    // The far end: what it sends back for one frame written (may be "").
    std::function<std::string(const std::string& frame)> respond = [](const std::string&) {
        return std::string();
    };
    std::string path = "/dev/fake";
    bool failOpen = false;            // exists, but refuses to open (busy, permission)
    bool unplugged = false;           // every call on an open control fails, as after a hang-up
    bool failWrites = false;          // only writes fail (output cannot be queued)
    std::vector<std::string> frames;  // every frame written, in order
};

// The identification and status replies of a USB adapter, and plain acknowledgements for
// the fixed frames; a script frame gets "!0010" and one "S" item per start token.
inline std::string adapterReply(const std::string& frame, const std::string& id = "!0000022600") {
    if (frame == "$0000\r") return id + "05\r\n";
    if (frame == "$0019\r") return "!00193300000\r\n";
    if (frame.rfind("$0010", 0) == 0) return "!0010SW90AP\r\n";
    if (frame.size() == 6 && frame.rfind("$00", 0) == 0) return "!00" + frame.substr(3, 2) + "\r\n";
    return {};
}

struct FakeBus {
    std::map<std::string, FakePort> ports;
    std::vector<std::string> openAttempts;  // names, in order
    std::vector<std::string> openSettings;

    FakePort& adapter(const std::string& name, const std::string& id = "!0000022600") {
        FakePort& p = ports[name];
        p.respond = [id](const std::string& frame) { return adapterReply(frame, id); };
        p.path = "/dev/fake" + name;
        return p;
    }
};

class FakeSerial final : public SerialControl {
public:
    explicit FakeSerial(FakeBus& bus) : bus_(bus), alive_(std::make_shared<bool>(true)) {}
    ~FakeSerial() override { *alive_ = false; }

    void open(const std::string& portName, const std::string& settings) override {
        bus_.openAttempts.push_back(portName);
        bus_.openSettings.push_back(settings);
        if (port_) throw ConsoleError(kOpenFailed, "The port is already open");
        auto it = bus_.ports.find(portName);
        if (it == bus_.ports.end() || it->second.failOpen)
            throw ConsoleError(kOpenFailed, "Failed to open port");
        port_ = &it->second;
        name_ = portName;
        input_.clear();
    }
    void close() override {
        ++closes;
        port_ = nullptr;
    }
    bool isOpen() override { return port_ != nullptr; }
    std::string portName() override { return port_ ? port_->path : std::string(); }

    std::int32_t write(const std::string& data, std::int32_t count, std::int32_t timeoutMs) override {
        lastCount = count;
        lastTimeout = timeoutMs;
        send(data);
        return static_cast<std::int32_t>(data.size());
    }
    void writeBackground(const std::string& data) override { send(data); }
    std::string read() override {
        if (!port_) throw ConsoleError(kUnexpected, "The port is not open");
        if (port_->unplugged) throw ConsoleError(kUnexpected, "Unexpected failure");
        std::string out;
        out.swap(input_);
        return out;
    }
    std::int32_t getBreak() override {
        check();
        std::int32_t b = breakState;
        return b;
    }
    void setBreak(std::int32_t value) override {
        check();
        breakState = value;
    }
    void clearRQ() override {
        check();
        ++clearedRQ;
        input_.clear();
    }
    void clearTQ() override {
        check();
        ++clearedTQ;
    }
    void setLineHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

    // Bytes from the far end without a frame of ours (a report, or a fragment).
    void arrive(const std::string& bytes) { deliver(bytes); }

    std::int32_t breakState = 0;
    int closes = 0, clearedRQ = 0, clearedTQ = 0;
    std::int32_t lastCount = -1, lastTimeout = -1;

private:
    void check() {
        if (!port_) throw ConsoleError(kUnexpected, "The port is not open");
        if (port_->unplugged) throw ConsoleError(kUnexpected, "Unexpected failure");
    }
    void send(const std::string& data) {
        if (!port_) throw ConsoleError(kWriteFailed, "Failed to queue output");
        if (port_->unplugged || port_->failWrites) throw ConsoleError(kWriteFailed, "Failed to queue output");
        port_->frames.push_back(data);
        deliver(port_->respond(data));
    }
    void deliver(const std::string& bytes) {
        input_ += bytes;
        const com::ApartmentRef apartment = com::currentApartment();
        for (char c : bytes) {
            if (c != '\n') continue;
            std::weak_ptr<bool> alive = alive_;
            com::post(apartment, [this, alive] {
                if (auto a = alive.lock(); a && *a && handler_) handler_();
            });
        }
    }

    FakeBus& bus_;
    FakePort* port_ = nullptr;
    std::string name_;
    std::string input_;
    std::function<void()> handler_;
    std::shared_ptr<bool> alive_;
};

// Enters an apartment on the test's thread for the test's lifetime.
struct ApartmentScope {
    ApartmentScope() { com::initializeApartment(); }
    ~ApartmentScope() { com::uninitializeApartment(); }
};

}  // namespace sarnel::testing
