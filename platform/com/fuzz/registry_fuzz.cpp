// The registry file parser on arbitrary text: it either rejects the text or gives a tree
// that prints and parses back to itself.
#include <com/registry.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    com::Registry r;
    std::string why;
    if (!com::Registry::parse(text, r, &why)) {
        if (why.rfind("line ", 0) != 0) std::abort();
        return 0;
    }
    const std::string printed = r.print();
    com::Registry back;
    if (!com::Registry::parse(printed, back, &why) || back.print() != printed) std::abort();
    return 0;
}
