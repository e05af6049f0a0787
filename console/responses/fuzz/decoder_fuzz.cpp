// Any bytes from an adapter decode without fault, and cutting by position agrees with
// cutting the buffer.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "console/base/tests/alertrecorder.h"
#include "console/responses/decoder.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sarnel;
    static AlertRecorder* alerts = new AlertRecorder;
    alerts->alerts.clear();
    const std::string input(reinterpret_cast<const char*>(data), size);

    // gettoken and the position-based cut take the same replies and keep the same rest.
    std::string buffer = input;
    std::size_t pos = 0;
    for (int i = 0; i < 10000; ++i) {
        const std::string a = gettoken("!", "\r", buffer);
        const std::string b(nextreply(input, pos));
        check(a == b);
        check(buffer == input.substr(pos));
        check(a.find_first_of("!\r") == std::string::npos);
        if (a.empty()) break;
    }

    // Fed in pieces ending after each line feed, as the receive path does, and whole.
    ActivityText pieces;
    pieces.continuous = size > 0 && (data[0] & 1);
    std::string rxbuffer;
    std::size_t at = 0;
    while (at < input.size()) {
        const std::size_t lf = input.find('\n', at);
        const std::size_t end = lf == std::string::npos ? input.size() : lf + 1;
        rxbuffer.append(input, at, end - at);
        const std::size_t before = rxbuffer.size();
        process(kProcessAll, "", pieces, rxbuffer);
        check(rxbuffer.size() <= before);
        at = end;
    }
    ActivityText whole;
    std::string all = input;
    process(kProcessAll, "", whole, all);
    check(all.size() <= input.size());
    return 0;
}
