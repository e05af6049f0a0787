// Arbitrary option values (and a watch's scale): nothing may crash, a refusal always says why, and what is
// taken lies within its range and reads back the same when written out again.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "console/bench/optionvalues.h"
#include "console/bench/watch.h"

using namespace sarnel::bench;

namespace {

void refused(bool taken, const std::string& why) {
    if (!taken && why.empty()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string why;
    if (const auto a = parseaddress(text, why)) {
        if (*a > 0x7F || parseaddress(std::to_string(*a), why) != a) std::abort();
    } else {
        refused(false, why);
    }
    why.clear();
    refused(parseregister(text, false, why).has_value(), why);
    why.clear();
    if (const auto r = parseregister(text, true, why)) {
        if (parseregister(std::to_string(*r), true, why) != r) std::abort();
    } else {
        refused(false, why);
    }
    why.clear();
    if (const auto c = parsecount(text, why)) {
        if (*c < 1 || *c > kMaxTransferBytes) std::abort();
    } else {
        refused(false, why);
    }
    why.clear();
    if (const auto bytes = parsedata(text, why)) {
        if (bytes->empty() || bytes->size() > kMaxTransferBytes) std::abort();
        std::string again;
        for (std::uint8_t b : *bytes) again += (again.empty() ? "" : ",") + std::to_string(b);
        if (parsedata(again, why) != bytes) std::abort();
    } else {
        refused(false, why);
    }
    why.clear();
    refused(parserepeat(text, why).has_value(), why);
    why.clear();
    refused(parsemilliseconds(text, why).has_value(), why);
    why.clear();
    // A watch's scale: a finite number other than 0, or a refusal that says why.
    if (const auto scale = parsescale(text, why)) {
        if (!std::isfinite(*scale) || *scale == 0) std::abort();
    } else {
        refused(false, why);
    }
    return 0;
}
