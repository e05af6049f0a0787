// Arbitrary host bytes into the firmware: lines are cut at CR as the link cuts them, the first
// byte chooses whether the adapter starts in its bootloader. Nothing may crash, and every
// reply must be one the host can frame (no "!", CR or LF inside it).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "../src/firmware.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    sim::Options options;
    options.startInBootloader = (data[0] & 1) != 0;
    sim::Firmware fw(options);
    auto now = sim::Clock::time_point{};
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    while (!rest.empty()) {
        const std::size_t cr = rest.find('\r');
        const std::string_view line = rest.substr(0, cr);
        for (const sim::Firmware::Reply& r : fw.line(line, now)) {
            now += r.after;
            if (r.text.find_first_of("!\r\n") != std::string::npos) std::abort();
        }
        if (cr == std::string_view::npos) break;
        rest.remove_prefix(cr + 1);
    }
    for (const sim::Firmware::Reply& r : fw.interruptInput(false, now))
        if (r.text.find_first_of("!\r\n") != std::string::npos) std::abort();
    return 0;
}
