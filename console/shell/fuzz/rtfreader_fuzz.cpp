// The help box reads whatever file sits beside the program: the reader must survive any bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "console/shell/rtfreader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    sarnel::readrtf(text);
    sarnel::readrtf("{\\rtf1 " + text);
    return 0;
}
