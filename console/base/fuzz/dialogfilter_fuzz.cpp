// Filter descriptions of any bytes: dialogfilter and its QFileDialog form must not fail, and
// the form must keep one entry per name and pattern pair.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "console/base/filedialog.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string description(reinterpret_cast<const char*>(data), size);
    const std::string filter = sarnel::dialogfilter(description);
    if (description.empty() || description == "0") std::abort();
    const std::string qt = sarnel::qtfilter(filter);
    if (qt.empty()) std::abort();
    return 0;
}
