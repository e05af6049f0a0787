// getfield in every mode over any text and separator, and the number routines over any word.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "console/base/textroutines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sarnel;
    if (size < 3) return 0;
    // First byte: the mode; second: the separator's length; then separator and text.
    const std::int32_t n = static_cast<std::int32_t>(static_cast<std::int8_t>(data[0])) * 70;
    const std::size_t seplen = data[1] % 4;
    if (size < 2 + seplen) return 0;
    std::string separator(reinterpret_cast<const char*>(data + 2), seplen);
    std::string text(reinterpret_cast<const char*>(data + 2 + seplen), size - 2 - seplen);

    const std::string original = text;
    const std::string result = getfield(text, n, separator);
    if (n != -1 && text != original) std::abort();  // only trim mode writes the text back
    if (result.size() > original.size() + 20) std::abort();

    const double v = leadingnumber(original);
    if (std::isnan(v)) std::abort();
    const std::string digits = numtohex(v * 1000.0, 4);
    if (digits.size() != 4) std::abort();
    if (dbltohex(v).empty()) std::abort();
    const double h = hextonum(original);
    if (!(h >= 0) || std::isinf(h)) std::abort();
    return 0;
}
