// A simulated adapter on a pseudo-terminal, reachable as a COM port through a private port
// folder: what `sarnel --simulate` and `sarnel-cli --simulate` run against. Header-only, for
// the programs that link the simulator.
#pragma once

#include <sim/simulator.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

namespace sarnel {

class SimulatedPort {
public:
    // The COM number the simulated adapter appears as.
    static constexpr int kComNumber = 3;

    // Makes the port folder, starts the adapter, links it as COM3 and points VESKOR_PORT_DIR
    // at the folder; do this before any port is opened. Throws std::system_error when the
    // system refuses (no pseudo-terminals, no temporary folder).
    SimulatedPort() {
        std::string pattern = (std::filesystem::temp_directory_path() / "sarnel-ports-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
        folder_ = pattern;
        adapter_ = std::make_unique<sim::Adapter>();
        adapter_->linkAs(folder_, kComNumber);
        ::setenv("VESKOR_PORT_DIR", folder_.c_str(), 1);
    }
    ~SimulatedPort() {
        adapter_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    SimulatedPort(const SimulatedPort&) = delete;
    SimulatedPort& operator=(const SimulatedPort&) = delete;

    sim::Adapter& adapter() { return *adapter_; }
    std::string portName() const { return "COM" + std::to_string(kComNumber); }
    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
    std::unique_ptr<sim::Adapter> adapter_;
};

}  // namespace sarnel
