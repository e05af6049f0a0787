// The PARMRK decoder, fed in pieces as read() delivers them: it never writes past its output,
// and what it emits does not depend on where the input was cut.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../src/markdecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    std::size_t cut = data[0] % (size);
    const std::uint8_t* in = data + 1;
    std::size_t n = size - 1;
    cut = cut > n ? n : cut;

    serial::MarkDecoder whole;
    std::vector<std::uint8_t> a(n + 1);
    auto wa = whole.decode(in, n, a.data());

    serial::MarkDecoder pieces;
    std::vector<std::uint8_t> b(n + 2);
    auto w1 = pieces.decode(in, cut, b.data());
    auto w2 = pieces.decode(in + cut, n - cut, b.data() + w1.length);
    if (wa.length != w1.length + w2.length || std::memcmp(a.data(), b.data(), wa.length) != 0) std::abort();
    if (wa.breakSeen != (w1.breakSeen || w2.breakSeen) || wa.errorSeen != (w1.errorSeen || w2.errorSeen))
        std::abort();
    return 0;
}
