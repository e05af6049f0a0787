// The settings string of Open: any text resolves to a valid line format or the stored one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "../src/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    veskor::LineSettings stored{9600, 8, 0, 0};
    std::string_view text(reinterpret_cast<const char*>(data), size);
    veskor::LineSettings s = veskor::resolveSettings(text, stored);
    if (!veskor::isAcceptedRate(s.baudRate) || s.dataBits < 5 || s.dataBits > 8 || s.parity < 0 ||
        s.parity > 4 || s.stopCode < 0 || s.stopCode > 2)
        std::abort();
    return 0;
}
