// A scripted SerialControl: every write is answered by a responder, and the answer arrives
// like real data would, through a call posted into the test thread's component apartment, so
// it is seen only while the protocol waits. No device, no threads: fast and deterministic.
#pragma once

#include "console/shell/serialcontrol.h"

#include <com/apartment.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace boottest {

class FakeControl : public sarnel::SerialControl {
public:
    // Answers a frame with the bytes the adapter would send back ("" for silence).
    using Responder = std::function<std::string(const std::string& frame)>;

    void respond(Responder r) { responder_ = std::move(r); }
    // Posts `call` so that it runs in the protocol's next wait (a click on Cancel, say).
    void during(std::function<void()> call) { com::post(com::currentApartment(), std::move(call)); }
    // Delivers bytes as if they had just arrived (the handler runs in the next wait).
    void arrive(const std::string& bytes);

    void open(const std::string& name, const std::string& settings) override {
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
    std::int32_t write(const std::string& data, std::int32_t count, std::int32_t timeoutMs) override;
    void writeBackground(const std::string& data) override { write(data, 0, 0); }
    std::string read() override;
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
    std::string settings_;

private:
    Responder responder_;
    std::function<void()> handler_;
    std::string pending_;
    std::string name_;
    bool open_ = false;
};

// "!text" CR LF, as the adapter ends every reply.
std::string reply(const std::string& text);

}  // namespace boottest
