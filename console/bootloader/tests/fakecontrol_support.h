// A scripted SerialControl: every write is answered by a responder, and the answer arrives
// like real data would, through a call posted into the test thread's component apartment, so
// it is seen only while the protocol waits. No device, no threads: fast and deterministic.
#pragma once

#include <com/apartment.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "console/base/consoleerror.h"
#include "console/base/serialcontrol.h"

namespace boottest {

class FakeControl : public sarnel::SerialControl {
public:
    // Answers a frame with the bytes the adapter would send back ("" for silence).
    using Responder = std::function<std::string(const std::string& frame)>;

    void respond(Responder r) { responder_ = std::move(r); }
    // Posts `call` so that it runs in the protocol's next wait (a click on Cancel, say).
    void during(std::function<void()> call) { com::post(com::currentApartment(), std::move(call)); }
    // Delivers bytes as if they had just arrived (the handler runs in the next wait).
    void arrive(const std::string& bytes) {
        during([this, bytes] {
            pending_ += bytes;
            if (bytes.find('\n') != std::string::npos && handler_) handler_();
        });
    }

    void open(const std::string& name, const std::string& settings) override {
        if (!openable.empty() && !openable.count(name))
            throw sarnel::ConsoleError(static_cast<std::int32_t>(0x80040205), "The port could not be opened");
        ++opens;
        open_ = true;
        name_ = name;
        settings_ = settings;
    }
    void close() override {
        open_ = false;
        ++closes;
    }
    bool isOpen() override { return open_; }
    std::string portName() override { return name_; }
    std::int32_t write(const std::string& data, std::int32_t count, std::int32_t timeoutMs) override {
        if (failWrite) throw sarnel::ConsoleError(failWrite, "The write failed");
        frames.push_back(data);
        timeouts.push_back(timeoutMs);
        if (responder_) {
            const std::string answer = responder_(data);
            if (!answer.empty()) arrive(answer);
        }
        return count > 0 ? count : static_cast<std::int32_t>(data.size());
    }
    void writeBackground(const std::string& data) override { write(data, 0, 0); }
    std::string read() override {
        if (failRead) throw sarnel::ConsoleError(failRead, "The read failed");
        std::string out;
        out.swap(pending_);
        return out;
    }
    std::int32_t getBreak() override { return breakState; }
    void setBreak(std::int32_t v) override {
        breakState = v;
        ++breakWrites;
    }
    void clearRQ() override { pending_.clear(); }
    void clearTQ() override {}
    void setLineHandler(std::function<void()> h) override { handler_ = std::move(h); }

    std::vector<std::string> frames;  // every frame written, in order
    std::vector<std::int32_t> timeouts;
    std::int32_t failWrite = 0;  // non-zero: every write throws ConsoleError with this number
    std::int32_t failRead = 0;
    std::int32_t breakState = 0;
    int breakWrites = 0;
    int closes = 0;
    int opens = 0;
    std::string settings_;
    // Names that open; every name opens while it is empty.
    std::set<std::string> openable;

private:
    Responder responder_;
    std::function<void()> handler_;
    std::string pending_;
    std::string name_;
    bool open_ = false;
};

// "!text" CR LF, as the adapter ends every reply.
inline std::string reply(const std::string& text) {
    return "!" + text + "\r\n";
}

}  // namespace boottest
