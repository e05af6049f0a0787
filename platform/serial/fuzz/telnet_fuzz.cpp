// The receive side of a remote port: the telnet parser, fed in two pieces as reads deliver
// them, and the com-port messages it finds. What it finds does not depend on where the input
// was cut, data never grows, and escaping the data again gives back what it was read from.
#include <cstdlib>
#include <string>
#include <vector>

#include "../src/telnet.h"

namespace {

namespace tn = serial::telnet;

struct Found : tn::Sink {
    std::string text;
    std::string events;  // options and subnegotiations, in order
    void data(const std::uint8_t* p, std::size_t n) override {
        text.append(reinterpret_cast<const char*>(p), n);
    }
    void option(std::uint8_t verb, std::uint8_t option) override {
        events += 'o';
        events.push_back(static_cast<char>(verb));
        events.push_back(static_cast<char>(option));
    }
    void subnegotiation(const std::uint8_t* body, std::size_t n) override {
        if (n == 0 || n > tn::Parser::kMaxBody) std::abort();
        events += 's';
        events.append(reinterpret_cast<const char*>(body), n);
        if (auto m = tn::serverMessage(body, n)) {
            if (m->command < tn::kSetBaudRate || m->command > tn::kPurgeData) std::abort();
            if (m->command != tn::kSetBaudRate && m->value > 0xFF) std::abort();
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t* in = data + 1;
    const std::size_t n = size - 1;
    const std::size_t cut = n ? data[0] % (n + 1) : 0;

    Found whole;
    tn::Parser a;
    a.feed(in, n, whole);

    Found pieces;
    tn::Parser b;
    b.feed(in, cut, pieces);
    b.feed(in + cut, n - cut, pieces);
    if (whole.text != pieces.text || whole.events != pieces.events) std::abort();
    if (whole.text.size() > n) std::abort();

    // Data framed for the line reads back as itself.
    std::string framed;
    tn::appendData(reinterpret_cast<const std::uint8_t*>(whole.text.data()), whole.text.size(), framed);
    Found back;
    tn::Parser c;
    c.feed(reinterpret_cast<const std::uint8_t*>(framed.data()), framed.size(), back);
    if (back.text != whole.text || !back.events.empty()) std::abort();
    return 0;
}
