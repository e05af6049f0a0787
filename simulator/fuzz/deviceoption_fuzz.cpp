// Arbitrary --device values: nothing may crash, a refusal always says why, and an accepted
// device lies within the device addresses and reads back the same from its canonical name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sim/simulator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view spec(reinterpret_cast<const char*>(data), size);
    std::string why;
    const auto device = sim::deviceFromSpec(spec, &why);
    if (!device) {
        if (why.empty()) std::abort();
        return 0;
    }
    if (device->address < sim::firstDeviceAddress || device->address > sim::lastDeviceAddress) std::abort();
    const std::string canonical =
        std::string(sim::deviceKindName(device->kind)) + "@" + std::to_string(device->address);
    if (sim::deviceFromSpec(canonical) != device) std::abort();
    return 0;
}
