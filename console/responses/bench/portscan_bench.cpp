// A scan of COM1 to COM999 with one simulated adapter and nothing else. Goal: within 0.3 s.
//
// "Nothing else": the machine's own serial devices (the fixed COM1-COM96 table) are kept out
// of the scan by a control that refuses every name outside the private port folder, as a
// machine without serial ports would; the adapter is reached through the real component.
#include <com/apartment.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "console/base/consoleerror.h"
#include "console/base/rs232.h"
#include "console/base/simulatedport.h"
#include "console/responses/portscan.h"

namespace {

class PrivatePortsOnly final : public sarnel::SerialControl {
public:
    PrivatePortsOnly(std::unique_ptr<sarnel::SerialControl> inner, std::filesystem::path folder)
        : inner_(std::move(inner)), folder_(std::move(folder)) {}
    void open(const std::string& name, const std::string& settings) override {
        if (!std::filesystem::exists(std::filesystem::symlink_status(folder_ / name)))
            throw sarnel::ConsoleError(static_cast<std::int32_t>(0x80040205), "Failed to open port");
        inner_->open(name, settings);
    }
    void close() override { inner_->close(); }
    bool isOpen() override { return inner_->isOpen(); }
    std::string portName() override { return inner_->portName(); }
    std::int32_t write(const std::string& d, std::int32_t c, std::int32_t t) override {
        return inner_->write(d, c, t);
    }
    void writeBackground(const std::string& d) override { inner_->writeBackground(d); }
    std::string read() override { return inner_->read(); }
    std::int32_t getBreak() override { return inner_->getBreak(); }
    void setBreak(std::int32_t v) override { inner_->setBreak(v); }
    void clearRQ() override { inner_->clearRQ(); }
    void clearTQ() override { inner_->clearTQ(); }
    void setLineHandler(std::function<void()> h) override { inner_->setLineHandler(std::move(h)); }

private:
    std::unique_ptr<sarnel::SerialControl> inner_;
    std::filesystem::path folder_;
};

}  // namespace

int main() {
    com::initializeApartment();
    bool ok = true;
    {
        sarnel::SimulatedPort simulated;
        const std::filesystem::path folder = simulated.folder();
        sarnel::ConsoleState state;
        sarnel::PortScanner scanner(
            state, [&] { return std::make_unique<PrivatePortsOnly>(sarnel::createRs232(), folder); });
        for (int run = 1; run <= 3; ++run) {
            sarnel::PortTable table;
            std::string expected = sarnel::kAdapterReplies, settings;
            std::int16_t maxport = 0;
            const auto t0 = std::chrono::steady_clock::now();
            scanner.portscan(table, expected, settings, maxport);
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            const bool found = sarnel::portcount(table) == 1 && table[1] == simulated.portName();
            std::printf("scan COM1-COM999, run %d: %.3f s, found %s (goal < 0.3 s: %s)\n", run, s,
                        found ? table[1].c_str() : "nothing", s < 0.3 && found ? "met" : "MISSED");
            if (!(s < 0.3 && found)) ok = false;
        }
    }
    com::uninitializeApartment();
    return ok ? 0 : 1;
}
